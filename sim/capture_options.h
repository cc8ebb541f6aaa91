// mstar-sim's capture options (--replay, --speed, --loop, --record): their
// help text, how they are read, and what they set in the configuration.
#ifndef MOTIONSTAR_SIM_CAPTURE_OPTIONS_H
#define MOTIONSTAR_SIM_CAPTURE_OPTIONS_H

#include <getopt.h>

#include <string>
#include <vector>

#include "sim/simulator.h"

namespace sim {

// getopt codes of the capture options, above the program's own.
enum CaptureOptionCode { kOptReplay = 400, kOptSpeed, kOptLoop, kOptRecord };

// getopt_long entries for the capture options.
extern const option kCaptureOptions[4];

struct CaptureRequest {
  std::string replayPath;
  double speed = 1.0;
  bool speedGiven = false;
  bool loop = false;
  std::string recordPath;
};

// The help section; it says when this build has no libpcap.
std::string captureHelp();

// Reads one capture option; false with *error for a bad value, or for any
// capture option in a build without libpcap.
bool readCaptureOption(int code, const char* value, CaptureRequest* request, std::string* error);

// Loads the replay and sets the recording into `config`; *lines gets what
// the replay holds and what was mended in it. False with *error naming the
// first problem of the capture.
bool applyCaptureRequest(const CaptureRequest& request, Config* config,
                         std::vector<std::string>* lines, std::string* error);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_CAPTURE_OPTIONS_H
