// mstar-host's command line: the usage text, and the options it reads.
#ifndef MOTIONSTAR_HOST_OPTIONS_H
#define MOTIONSTAR_HOST_OPTIONS_H

#include <cstdint>
#include <string>

#include "host/capture_setup.h"
#include "host/output.h"

constexpr int kExitClean = 0;
constexpr int kExitDeviceFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
  std::string configPath;
  bool simulate = false;
  double rate = 60;          // packets per second of the simulators
  CaptureSetup capture;      // --record-dir, --replay (which simulates too), --speed
  bool formatGiven = false;  // else the format follows whether stdout is a terminal
  Format format = Format::kTable;
  std::string outputPath;
  double duration = 0;   // seconds; 0: no limit
  uint64_t packets = 0;  // per device; 0: no limit
  // The host logger's settings.
  int enabled = 1;
  int32_t debugLevel = 0;
  int32_t debugThreshold = 1;
};

// Reads the command line into *options. Returns -1 when the host should
// run; else it has printed the usage text (--help) or the error, and
// returns the exit code.
int parseOptions(int argc, char** argv, Options* options);

#endif  // MOTIONSTAR_HOST_OPTIONS_H
