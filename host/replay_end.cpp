#include "host/replay_end.h"

bool ReplayEnd::reached(bool playedOut, const std::vector<uint64_t>& packets, int64_t nowMs) {
  if (packets != last_ || !playedOut) {
    last_ = packets;
    changedMs_ = nowMs;
    return false;
  }
  return nowMs - changedMs_ >= kQuietMs;
}
