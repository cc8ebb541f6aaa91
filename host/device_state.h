// What the host knows of one device's data over time: the state it shows,
// when its packets came, the gaps between them, and the limits that make a
// device stale or lost. Times are monotonic milliseconds.
#ifndef MOTIONSTAR_HOST_DEVICE_STATE_H
#define MOTIONSTAR_HOST_DEVICE_STATE_H

#include <cstdint>
#include <deque>
#include <string>

#include "motionstar/stream.h"

// The states published to render nodes, under the same names.
using DeviceState = motionstar::stream::DeviceState;
using motionstar::stream::stateName;

struct SupervisionLimits {
  // Without data this long a device is shown as stale; 0: ten packet
  // periods as measured, at least kMinStaleMs.
  int64_t staleAfterMs = 0;
  // Without data this long a device is lost, counted as a dropout and
  // brought up again (when recover is set).
  int64_t lostAfterMs = 2000;
  bool recover = true;
};

constexpr int64_t kMinStaleMs = 100;

// The waits between attempts to bring a lost device up again: 0.5 s,
// doubling, at most 10 s.
class Backoff {
 public:
  int64_t nextMs();

 private:
  int64_t nextMs_ = 500;
};

class DataHistory {
 public:
  explicit DataHistory(const SupervisionLimits& limits) : limits_(limits) {}

  // The stream runs from nowMs: silence counts from here.
  void begin(int64_t nowMs);
  void packet(int64_t nowMs);
  // A stream started again at nowMs: silence counts from here, while the
  // gap since the last packet (the outage) goes on.
  void restart(int64_t nowMs);
  // The device stopped: an open gap counts as it stands, and the rate is
  // the one it had at its last packet.
  void end(int64_t nowMs);

  int64_t staleLimitMs() const;
  // Since the last packet or the (re)start, whichever came later.
  int64_t silenceMs(int64_t nowMs) const;
  // Since the last packet (or the first start when none came yet).
  int64_t gapMs(int64_t nowMs) const;
  // Packets per second over the last second.
  double rate(int64_t nowMs) const;
  double meanRate() const;
  uint64_t packets() const { return packets_; }
  int64_t largestGapMs() const { return largestGapMs_; }
  // Every gap longer than the stale limit, summed.
  int64_t withoutDataMs() const { return withoutDataMs_; }
  bool begun() const { return begun_; }

 private:
  void closeGap(int64_t nowMs);

  SupervisionLimits limits_;
  bool begun_ = false;
  bool ended_ = false;
  int64_t beginMs_ = 0, endMs_ = 0, lastPacketMs_ = 0, watchFromMs_ = 0;
  uint64_t packets_ = 0;
  double periodMs_ = 0;  // smoothed time between packets; 0 until two came
  int64_t largestGapMs_ = 0, withoutDataMs_ = 0;
  std::deque<int64_t> recent_;  // arrival times within the last second
};

// "front: 1200 packets in 20.0 s (60.0/s), largest gap 0.03 s, ..."
std::string summaryText(const std::string& device, const DataHistory& history, uint64_t dropouts,
                        uint64_t recoveries, uint64_t failures);

#endif  // MOTIONSTAR_HOST_DEVICE_STATE_H
