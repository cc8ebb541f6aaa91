// The data stream: where it goes, when its packets are due, and what each
// packet carries (one record per sensor, then the aux record with the
// wand's bytes).
#ifndef MOTIONSTAR_SIM_STREAM_H
#define MOTIONSTAR_SIM_STREAM_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/device_model.h"
#include "sim/packets.h"
#include "sim/sensor_field.h"
#include "sim/simulator.h"
#include "sim/transport.h"
#include "sim/wand.h"

namespace sim {

class DataStream {
 public:
  using Clock = std::chrono::steady_clock;

  // `device` (may be null) gives each unit's hemisphere; without it, or
  // without the configuration's hemisphere model, sensors report their
  // true positions.
  explicit DataStream(const Config& config, const DeviceModel* device = nullptr);

  // Readies the stream of a started simulator: the sensors of its bus, and
  // the aux record and wand script as configured. The packet index goes on.
  void restart(std::vector<int> sensors);

  // RUN_CONTINUOUS: packets go to `peer` from now on.
  void start(const Peer& peer, Clock::time_point now);
  // Returns whether the stream was on.
  bool stop();
  bool on() const { return on_; }
  const Peer& peer() const { return peer_; }

  // How many packets fall due by `now` at the configured rate (none without
  // one); a late caller catches up a few, then skips ahead.
  int takeDue(Clock::time_point now);
  // How long until the next packet is due; `limit` when none is.
  Clock::duration untilDue(Clock::time_point now, Clock::duration limit) const;

  // Makes the next packet and uses up its index (and its wand bytes). A
  // fault may take the aux record out or repeat the poses of the packet
  // before; other faults damage the bytes afterwards.
  std::vector<uint8_t> nextPacket(const DataFault* fault);
  uint64_t nextIndex() const { return nextIndex_; }
  size_t recordCount() const { return sensors_.size(); }

  void queueWandBytes(const std::vector<uint8_t>& bytes) { wand_.add(bytes); }
  void setAuxRecord(bool on) { auxRecord_ = on; }
  void place(int address, const Pose& truePose) { field_.place(address, truePose); }
  void release(int address) { field_.release(address); }

 private:
  // Where a sensor truly is in a packet: the one place that decides it.
  std::array<int16_t, 6> truePose(int address, uint64_t packetIndex) const;
  // What its unit reports of that pose.
  UnitRecord record(int address, uint64_t packetIndex) const;

  const Config& config_;
  const DeviceModel* device_;
  std::vector<int> sensors_;
  bool auxRecord_ = true;
  SensorField field_;
  WandQueue wand_;
  bool on_ = false;
  Peer peer_;
  Clock::time_point nextDue_{};
  uint64_t nextIndex_ = 0;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_STREAM_H
