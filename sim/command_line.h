// mstar-sim's command line: the usage text, and the options it reads.
#ifndef MOTIONSTAR_SIM_COMMAND_LINE_H
#define MOTIONSTAR_SIM_COMMAND_LINE_H

#include <cstdint>

#include "sim/capture_options.h"
#include "sim/simulator.h"

namespace simcli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Options {
  sim::Config config;
  // 1..255: the first WAKE_UP is answered with this error code.
  uint8_t wakeUpError = 0;
  // --replay, --speed, --loop, --record; the capture is loaded by the caller.
  sim::CaptureRequest capture;
  // The control port's UDP port on 127.0.0.1: -1 none, 0 the kernel picks.
  int controlPort = -1;
};

// Reads the command line into *options: the simulator as a user wants it,
// with a stream at 100 packets a second, the paths of seed 1 and positions
// as a magnetic tracker reports them. Returns -1 when the simulator should
// run; else it has printed the usage text (--help) or the error, and
// returns the exit code.
int parseCommandLine(int argc, char** argv, Options* options);

}  // namespace simcli

#endif  // MOTIONSTAR_SIM_COMMAND_LINE_H
