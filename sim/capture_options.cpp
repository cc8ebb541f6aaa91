#include "sim/capture_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "sim/capture_reader.h"
#include "sim/replay_script.h"

namespace sim {

const option kCaptureOptions[4] = {
    {"replay", required_argument, nullptr, kOptReplay},
    {"speed", required_argument, nullptr, kOptSpeed},
    {"loop", no_argument, nullptr, kOptLoop},
    {"record", required_argument, nullptr, kOptRecord},
};

std::string captureHelp() {
  std::string text = captureFilesSupported()
                         ? "Capture:\n"
                         : "Capture (not in this build: it was built without libpcap):\n";
  return text +
         "      --replay FILE         play the device side of a recorded session (pcap or\n"
         "                            pcapng, from tcpdump, Wireshark or --record): the\n"
         "                            capture's replies and status blocks (SEND_SETUP still\n"
         "                            rewrites them) and its data packets with their timing;\n"
         "                            the Bus and Data stream options are not used\n"
         "      --speed X             play the data packets X times as fast, above 0 and at\n"
         "                            most 1000 (default 1)\n"
         "      --loop                after the last data packet, start again from the first\n"
         "      --record FILE         write every packet in and out to FILE, a pcap capture\n"
         "                            that tcpdump, Wireshark and --replay read (no root\n"
         "                            needed)\n"
         "\n";
}

bool readCaptureOption(int code, const char* value, CaptureRequest* request, std::string* error) {
  if (!captureFilesSupported()) {
    *error = "this mstar-sim was built without libpcap: no capture replay or recording";
    return false;
  }
  switch (code) {
    case kOptReplay:
      request->replayPath = value;
      return true;
    case kOptSpeed: {
      char* end = nullptr;
      errno = 0;
      const double speed = std::strtod(value, &end);
      if (errno != 0 || end == value || *end != '\0' || !(speed > 0) || speed > 1000) {
        *error = "invalid value '" + std::string(value) + "' for --speed (above 0, at most 1000)";
        return false;
      }
      request->speed = speed;
      request->speedGiven = true;
      return true;
    }
    case kOptLoop:
      request->loop = true;
      return true;
    case kOptRecord:
      request->recordPath = value;
      return true;
    default:
      return false;
  }
}

bool applyCaptureRequest(const CaptureRequest& request, Config* config,
                         std::vector<std::string>* lines, std::string* error) {
  config->recordPath = request.recordPath;
  if (request.replayPath.empty()) return true;
  std::shared_ptr<const ReplayScript> script;
  if (!loadReplayScript(request.replayPath, &script, error)) return false;
  lines->push_back("replaying " + request.replayPath + ": " + replaySummary(*script));
  for (const std::string& note : script->notes) lines->push_back("replay: " + note);
  config->replay = std::move(script);
  config->replaySpeed = request.speed;
  config->replayLoop = request.loop;
  return true;
}

}  // namespace sim
