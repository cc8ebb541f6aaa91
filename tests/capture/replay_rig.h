// Sessions for the capture tests: a live one against the simulator,
// recorded into a capture, and its replay, each driven through the module
// as a host drives it, with what every data packet published.
#ifndef MOTIONSTAR_TESTS_CAPTURE_REPLAY_RIG_H
#define MOTIONSTAR_TESTS_CAPTURE_REPLAY_RIG_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace capturetest {

// Data packets of a live session; each carries a wand packet that differs
// from the one before, so every packet publishes.
constexpr int kLivePackets = 24;

// The records one data packet published, as the host reads them (their
// values, without times), trackers by ID, then the wand.
using PacketRecords = std::vector<std::string>;

std::string scratchPath(const std::string& name);

// Why recording and replay tests cannot run here (no libpcap, or the
// device's ports taken); empty when they can.
std::string replaySkipReason();

// The wand packet data packet i of a live session carries: four bytes.
struct LiveWand {
  int8_t motionX;
  int8_t motionY;
  bool firstButton;
  bool secondButton;
  int fourthButton;
};
LiveWand liveWand(int i);
std::vector<uint8_t> liveWandBytes(int i);

struct LiveOptions {
  uint16_t scaling = 144;   // of every unit's status block
  uint8_t wakeUpError = 0;  // when set, the first WAKE_UP is refused with it
};

// Two trackers and a wand over `transport`, kLivePackets data packets,
// recorded into `path`. Returns what each packet published; *firstIndex
// (when given) gets the simulator's index of the first data packet.
std::vector<PacketRecords> runLive(sim::Transport transport, const std::string& path,
                                   const LiveOptions& options = {}, uint64_t* firstIndex = nullptr);

// The capture at `path` replayed to a driver over `transport`, read until
// `packets` data packets have published (a few reads more at most).
std::vector<PacketRecords> runReplay(const std::string& path, sim::Transport transport,
                                     int packets);

}  // namespace capturetest

#endif  // MOTIONSTAR_TESTS_CAPTURE_REPLAY_RIG_H
