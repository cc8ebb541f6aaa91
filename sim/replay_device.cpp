#include "sim/replay_device.h"

#include "common/byte_order.h"
#include "sim/packets.h"

namespace sim {
namespace {

bool hasReply(const std::vector<Packet>& answer, uint8_t type, bool errorFree) {
  for (const Packet& packet : answer) {
    if (packet.size() >= kHeaderSize && packet[kTypeOffset] == type &&
        (!errorFree || packet[kErrorOffset] == 0)) {
      return true;
    }
  }
  return false;
}

}  // namespace

ReplayDevice::ReplayDevice(std::shared_ptr<const ReplayScript> script)
    : script_(std::move(script)), blocks_(script_->blocks) {}

std::vector<Packet> ReplayDevice::answer(const Packet& command) {
  const uint32_t key = answerKey(command);
  auto found = script_->answers.find(key);
  if (found == script_->answers.end() || found->second.empty()) return {};
  const std::vector<std::vector<Packet>>& answers = found->second;
  size_t& used = used_[key];
  std::vector<Packet> answer = answers[std::min(used, answers.size() - 1)];
  ++used;
  if (command[kTypeOffset] != kGetStatus) return answer;
  auto block = blocks_.find(command[kUnitOffset]);
  if (block == blocks_.end()) return answer;
  for (Packet& reply : answer) {
    if (reply.size() <= kHeaderSize || reply[kTypeOffset] != kStatusReply ||
        reply[kErrorOffset] != 0) {
      continue;
    }
    reply.resize(kHeaderSize);
    reply.insert(reply.end(), block->second.begin(), block->second.end());
    writeU16be(&reply[kCountOffset], static_cast<uint16_t>(block->second.size()));
  }
  return answer;
}

void ReplayDevice::carryOut(const Packet& command, const std::vector<Packet>& answer) {
  if (command[kTypeOffset] != kSendSetup || !hasReply(answer, kSetupReply, true)) return;
  auto block = blocks_.find(command[kUnitOffset]);
  if (block != blocks_.end() && command.size() - kHeaderSize == block->second.size()) {
    block->second.assign(command.begin() + kHeaderSize, command.end());
  }
}

bool ReplayDevice::startsStream(const std::vector<Packet>& answer) {
  return hasReply(answer, kRunReply, true);
}

bool ReplayDevice::stopsStream(const std::vector<Packet>& answer) {
  return hasReply(answer, kStopReply, false) || hasReply(answer, kShutDownReply, false);
}

Packet ReplayDevice::statusBlock(int unitAddress) const {
  auto found = blocks_.find(unitAddress);
  return found == blocks_.end() ? Packet{} : found->second;
}

}  // namespace sim
