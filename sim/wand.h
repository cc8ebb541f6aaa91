// The wand's side of the stream: the bytes of one wand packet, and the
// queue of byte groups that the data packets carry, one group each.
#ifndef MOTIONSTAR_SIM_WAND_H
#define MOTIONSTAR_SIM_WAND_H

#include <cstdint>
#include <deque>
#include <vector>

namespace sim {

// A start byte with the motion's high bits and the two buttons, the two
// motion bytes, and a fourth byte carrying the fourth-byte button when
// fourthButton is 0 or 1 (-1: three bytes).
std::vector<uint8_t> wandPacket(int8_t motionX, int8_t motionY, bool firstButton, bool secondButton,
                                int fourthButton);

// kWandScriptPackets (simulator.h) four-byte wand packets, one per data
// packet, for looping: the two axes
// swing at different rates, and each button is held down for a spell of
// 30 to 90 packets at a time of its own. Each seed gives another wand.
std::vector<std::vector<uint8_t>> wandScript(uint64_t seed);

class WandQueue {
 public:
  WandQueue() = default;
  // `script` is queued now, and again whenever the queue runs dry when
  // `loop` is set.
  WandQueue(std::vector<std::vector<uint8_t>> script, bool loop);

  // Appends one group; a group longer than one aux record can carry goes
  // out over several packets.
  void add(const std::vector<uint8_t>& bytes);
  // The group for the next packet with an aux record; empty when none waits.
  std::vector<uint8_t> next();

 private:
  void addScript();

  std::vector<std::vector<uint8_t>> script_;
  bool loop_ = false;
  std::deque<std::vector<uint8_t>> groups_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_WAND_H
