// The data packets of a capture, played with the time that lay between
// them, divided by a speed, and from the start again when looping.
#ifndef MOTIONSTAR_SIM_REPLAY_STREAM_H
#define MOTIONSTAR_SIM_REPLAY_STREAM_H

#include <memory>

#include "sim/replay_script.h"
#include "sim/stream_source.h"

namespace sim {

class ReplayStream final : public StreamSource {
 public:
  ReplayStream(std::shared_ptr<const ReplayScript> script, double speed, bool loop);

  // A stream that starts again goes on with the packet after the last one sent.
  void start(const Peer& peer, Clock::time_point now) override;
  bool stop() override;
  bool on() const override { return on_; }
  const Peer& peer() const override { return peer_; }
  int takeDue(Clock::time_point now) override;
  Clock::duration untilDue(Clock::time_point now, Clock::duration limit) const override;
  // The capture's packet as it was; faults are not applied to a replay.
  std::vector<uint8_t> nextPacket(const DataFault* fault) override;
  uint64_t nextIndex() const override { return sent_; }
  size_t recordCount() const override { return 0; }

  // Every packet has been sent once and the stream does not loop.
  bool finished() const;

 private:
  // The packet after `index`: past the end without a loop.
  size_t following(size_t index) const;
  Clock::duration delayOf(size_t index) const;

  std::shared_ptr<const ReplayScript> script_;
  double speed_;
  bool loop_;
  bool on_ = false;
  Peer peer_;
  size_t cursor_ = 0;  // the next packet to send
  Clock::time_point nextDue_{};
  uint64_t sent_ = 0;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_REPLAY_STREAM_H
