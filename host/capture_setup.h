// --record-dir and --replay for the host's simulated devices: each device's
// simulator records its packets into DIR/NAME.pcap, and plays a capture
// (one file for every device, or DIR/NAME.pcap from a folder) instead of
// its generated session.
#ifndef MOTIONSTAR_HOST_CAPTURE_SETUP_H
#define MOTIONSTAR_HOST_CAPTURE_SETUP_H

#include <map>
#include <memory>
#include <string>

#include "sim/replay_script.h"
#include "sim/simulator.h"

class CaptureSetup {
 public:
  std::string recordDir;   // empty: no recording
  std::string replayPath;  // a capture file or a folder of them; empty: no replay
  double speed = 1.0;

  // The capture file of a device in a folder: its name, with characters
  // that a file name cannot hold replaced, and ".pcap".
  static std::string fileName(const std::string& device);

  bool active() const { return !recordDir.empty() || !replayPath.empty(); }

  // Sets the simulator of `device` to record and to replay as asked, and
  // says on standard error what each replay holds. False with *error
  // naming the problem (a capture that cannot be replayed, a folder that
  // cannot be made).
  bool apply(const std::string& device, sim::Config* config, std::string* error);

 private:
  // A capture shared by several devices is read once.
  std::map<std::string, std::shared_ptr<const sim::ReplayScript>> loaded_;
};

#endif  // MOTIONSTAR_HOST_CAPTURE_SETUP_H
