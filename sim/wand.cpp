#include "sim/wand.h"

#include <algorithm>
#include <cmath>

#include "sim/packets.h"
#include "sim/random.h"
#include "sim/simulator.h"

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

std::vector<std::vector<uint8_t>> wandScript(uint64_t seed) {
  constexpr double kTwoPi = 6.283185307179586;
  constexpr double kSwing = 31;     // the driver reads up to 32 either way
  Random random(seed, 0x77616E64);  // a stream of its own beside the sensors'
  // Whole turns over the script, so that it loops without a jump; the axes
  // never share a rate.
  const int turnsX = random.pick(1, 3);
  const int turnsY = turnsX + random.pick(1, 3);
  const double phaseX = random.between(0, kTwoPi);
  const double phaseY = random.between(0, kTwoPi);
  int pressedFrom[3];
  int pressedFor[3];
  for (int b = 0; b < 3; ++b) {
    pressedFor[b] = random.pick(30, 90);
    pressedFrom[b] = random.pick(0, static_cast<int>(kWandScriptPackets) - pressedFor[b]);
  }
  std::vector<std::vector<uint8_t>> script;
  for (size_t i = 0; i < kWandScriptPackets; ++i) {
    const double turn = kTwoPi * static_cast<double>(i) / kWandScriptPackets;
    bool down[3];
    for (int b = 0; b < 3; ++b) {
      const int at = static_cast<int>(i) - pressedFrom[b];
      down[b] = at >= 0 && at < pressedFor[b];
    }
    script.push_back(
        wandPacket(static_cast<int8_t>(std::lround(kSwing * std::sin(turnsX * turn + phaseX))),
                   static_cast<int8_t>(std::lround(kSwing * std::sin(turnsY * turn + phaseY))),
                   down[0], down[1], down[2] ? 1 : 0));
  }
  return script;
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
