// mstar-host's command line: the usage text, and the options it reads.
#ifndef MOTIONSTAR_HOST_OPTIONS_H
#define MOTIONSTAR_HOST_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/output.h"
#include "host/publisher.h"
#include "sim/simulator.h"

constexpr int kExitClean = 0;
constexpr int kExitDeviceFailed = 1;
constexpr int kExitUsage = 2;

// A fault the simulators repeat (--sim-fault).
struct SimFault {
  std::string device;       // the device block's name; empty: every device
  bool powerCycle = false;  // else a network outage
  sim::RepeatingFault timing;
};

struct Options {
  std::string configPath;
  bool simulate = false;
  double rate = 60;   // packets per second of the simulators
  uint64_t seed = 1;  // device k of the file (from 1) takes seed + k - 1
  std::vector<SimFault> simFaults;
  bool formatGiven = false;  // else the format follows whether stdout is a terminal
  Format format = Format::kTable;
  std::string outputPath;
  double duration = 0;   // seconds; 0: no limit
  uint64_t packets = 0;  // per device; 0: no limit
  // The host logger's settings.
  int enabled = 1;
  int32_t debugLevel = 0;
  int32_t debugThreshold = 1;
  PublishOptions publish;  // render nodes to stream to
};

// Reads the command line into *options. Returns -1 when the host should
// run; else it has printed the usage text (--help) or the error, and
// returns the exit code.
int parseOptions(int argc, char** argv, Options* options);

#endif  // MOTIONSTAR_HOST_OPTIONS_H
