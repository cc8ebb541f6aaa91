// When a replayed session is over: every simulator has played its capture
// out, and every device's reader has gone a while without handling a
// packet, so it waits in its read and has published all that was sent.
#ifndef MOTIONSTAR_HOST_REPLAY_END_H
#define MOTIONSTAR_HOST_REPLAY_END_H

#include <cstdint>
#include <vector>

class ReplayEnd {
 public:
  // How long the readers must have been quiet. A reader that waits for
  // data returns only after about a second, so this is far shorter.
  static constexpr int64_t kQuietMs = 300;

  // Called again and again with whether the captures are played out and
  // each device's count of handled packets.
  bool reached(bool playedOut, const std::vector<uint64_t>& packets, int64_t nowMs);

 private:
  std::vector<uint64_t> last_;
  int64_t changedMs_ = 0;
};

#endif  // MOTIONSTAR_HOST_REPLAY_END_H
