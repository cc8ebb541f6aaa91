#include "sim/replay_stream.h"

#include <algorithm>

namespace sim {
namespace {

// The most packets one call lets fall due, so that a looped capture of
// packets recorded 0 s apart cannot keep the worker here.
constexpr int kMaxBurst = 1000;

}  // namespace

ReplayStream::ReplayStream(std::shared_ptr<const ReplayScript> script, double speed, bool loop)
    : script_(std::move(script)), speed_(speed > 0 ? speed : 1.0), loop_(loop) {}

void ReplayStream::start(const Peer& peer, Clock::time_point now) {
  on_ = true;
  peer_ = peer;
  nextDue_ = now + delayOf(cursor_);
}

bool ReplayStream::stop() {
  const bool was = on_;
  on_ = false;
  return was;
}

size_t ReplayStream::following(size_t index) const {
  const size_t count = script_->data.size();
  if (index + 1 < count) return index + 1;
  return loop_ ? 0 : count;
}

ReplayStream::Clock::duration ReplayStream::delayOf(size_t index) const {
  if (index >= script_->data.size()) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::micro>(
      static_cast<double>(script_->data[index].delayUs) / speed_));
}

int ReplayStream::takeDue(Clock::time_point now) {
  // Counted without using anything up: nextPacket moves on.
  int count = 0;
  size_t index = cursor_;
  Clock::time_point due = nextDue_;
  while (on_ && index < script_->data.size() && due <= now && count < kMaxBurst) {
    ++count;
    index = following(index);
    due += delayOf(index);
  }
  return count;
}

ReplayStream::Clock::duration ReplayStream::untilDue(Clock::time_point now,
                                                     Clock::duration limit) const {
  if (!on_ || cursor_ >= script_->data.size()) return limit;
  return std::min(limit, std::max(Clock::duration::zero(), nextDue_ - now));
}

std::vector<uint8_t> ReplayStream::nextPacket(const DataFault*) {
  if (cursor_ >= script_->data.size()) return {};
  std::vector<uint8_t> packet = script_->data[cursor_].bytes;
  cursor_ = following(cursor_);
  nextDue_ += delayOf(cursor_);
  ++sent_;
  return packet;
}

bool ReplayStream::finished() const {
  return !loop_ && cursor_ >= script_->data.size();
}

}  // namespace sim
