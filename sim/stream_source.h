// What the worker asks of a data stream, whether the stream makes its
// packets (the generated stream of stream.h) or plays them from a capture
// (replay_stream.h).
#ifndef MOTIONSTAR_SIM_STREAM_SOURCE_H
#define MOTIONSTAR_SIM_STREAM_SOURCE_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/simulator.h"
#include "sim/stream.h"
#include "sim/transport.h"

namespace sim {

class StreamSource {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~StreamSource() = default;

  // RUN_CONTINUOUS: packets go to `peer` from now on.
  virtual void start(const Peer& peer, Clock::time_point now) = 0;
  // Returns whether the stream was on.
  virtual bool stop() = 0;
  virtual bool on() const = 0;
  virtual const Peer& peer() const = 0;
  // How many packets fall due by `now`.
  virtual int takeDue(Clock::time_point now) = 0;
  // How long until the next packet is due; `limit` when none is.
  virtual Clock::duration untilDue(Clock::time_point now, Clock::duration limit) const = 0;
  // The next packet; it is used up.
  virtual std::vector<uint8_t> nextPacket(const DataFault* fault) = 0;
  virtual uint64_t nextIndex() const = 0;
  // Unit records per packet, for the faults that damage one.
  virtual size_t recordCount() const = 0;
};

// The generated stream behind the same face.
class GeneratedSource final : public StreamSource {
 public:
  explicit GeneratedSource(DataStream& stream) : stream_(stream) {}
  void start(const Peer& peer, Clock::time_point now) override { stream_.start(peer, now); }
  bool stop() override { return stream_.stop(); }
  bool on() const override { return stream_.on(); }
  const Peer& peer() const override { return stream_.peer(); }
  int takeDue(Clock::time_point now) override { return stream_.takeDue(now); }
  Clock::duration untilDue(Clock::time_point now, Clock::duration limit) const override {
    return stream_.untilDue(now, limit);
  }
  std::vector<uint8_t> nextPacket(const DataFault* fault) override {
    return stream_.nextPacket(fault);
  }
  uint64_t nextIndex() const override { return stream_.nextIndex(); }
  size_t recordCount() const override { return stream_.recordCount(); }

 private:
  DataStream& stream_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_STREAM_SOURCE_H
