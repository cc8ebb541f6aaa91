// The tracking system as a capture shows it: each command is answered with
// what the device sent after the same command in the capture, the status
// blocks start as the device reported them, and SEND_SETUP rewrites them as
// it does on the device.
#ifndef MOTIONSTAR_SIM_REPLAY_DEVICE_H
#define MOTIONSTAR_SIM_REPLAY_DEVICE_H

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "sim/replay_script.h"

namespace sim {

class ReplayDevice {
 public:
  explicit ReplayDevice(std::shared_ptr<const ReplayScript> script);

  // The packets that answer a command of at least a header's length: the
  // n-th command of a kind gets the capture's n-th answer to that kind (the
  // last one again once they run out). A GET_STATUS reply carries the
  // unit's block as it stands now. Empty when the capture never answered
  // such a command.
  std::vector<Packet> answer(const Packet& command);
  // After `answer` went out: a SEND_SETUP that the device accepted stores
  // its block, when it has the length of the block it replaces.
  void carryOut(const Packet& command, const std::vector<Packet>& answer);

  // Whether `answer` starts the data stream (an error-free RUN_CONTINUOUS
  // reply) or stops it (a STOP_DATA or SHUT_DOWN reply).
  static bool startsStream(const std::vector<Packet>& answer);
  static bool stopsStream(const std::vector<Packet>& answer);

  // The block GET_STATUS returns now; empty for a unit the capture never showed.
  Packet statusBlock(int unitAddress) const;

 private:
  std::shared_ptr<const ReplayScript> script_;
  std::map<uint32_t, size_t> used_;
  std::map<int, Packet> blocks_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_REPLAY_DEVICE_H
