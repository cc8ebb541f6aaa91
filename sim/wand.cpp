#include "sim/wand.h"

#include <algorithm>

#include "sim/packets.h"

namespace sim {

std::vector<uint8_t> wandPacket(int8_t motionX, int8_t motionY, bool firstButton, bool secondButton,
                                int fourthButton) {
  const uint8_t x = static_cast<uint8_t>(motionX);
  const uint8_t y = static_cast<uint8_t>(motionY);
  std::vector<uint8_t> bytes{
      static_cast<uint8_t>(0x40 | (secondButton ? 0x20 : 0) | (firstButton ? 0x10 : 0) |
                           ((y >> 6) << 2) | (x >> 6)),
      static_cast<uint8_t>(x & 0x3F), static_cast<uint8_t>(y & 0x3F)};
  if (fourthButton == 0 || fourthButton == 1) {
    bytes.push_back(static_cast<uint8_t>(fourthButton == 1 ? 0x20 : 0x00));
  }
  return bytes;
}

WandQueue::WandQueue(std::vector<std::vector<uint8_t>> script, bool loop)
    : script_(std::move(script)), loop_(loop) {
  addScript();
}

void WandQueue::add(const std::vector<uint8_t>& bytes) {
  for (size_t start = 0; start < bytes.size(); start += kMaxWandBytesPerPacket) {
    const size_t end = std::min(bytes.size(), start + kMaxWandBytesPerPacket);
    groups_.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                         bytes.begin() + static_cast<std::ptrdiff_t>(end));
  }
  if (bytes.empty()) groups_.emplace_back();
}

std::vector<uint8_t> WandQueue::next() {
  if (groups_.empty() && loop_) addScript();
  if (groups_.empty()) return {};
  std::vector<uint8_t> group = std::move(groups_.front());
  groups_.pop_front();
  return group;
}

void WandQueue::addScript() {
  for (const std::vector<uint8_t>& group : script_) add(group);
}

}  // namespace sim
