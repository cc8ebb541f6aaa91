// How long the driver waits for the tracking system. A wait that ends
// without data counts as a read of 0 bytes.
#ifndef MOTIONSTAR_PROTOCOL_LIMITS_H
#define MOTIONSTAR_PROTOCOL_LIMITS_H

#include <cstdint>

namespace proto {

struct WaitTime {
  int32_t seconds;
  int32_t microseconds;
};

// A command reply: the system answers at once when it is alive.
constexpr WaitTime kReplyWait{5, 0};
// WAKE_UP: a real system powers its units up before it answers.
constexpr WaitTime kWakeUpWait{15, 0};
// One data packet: the stream runs at tens of packets per second, so a
// second of silence means it stopped, and the host regains control.
constexpr WaitTime kDataWait{1, 0};

WaitTime replyWait();
WaitTime wakeUpWait();
WaitTime dataWait();

// Tests only: shorter waits, so a silent peer ends a test quickly.
void setWaitsForTesting(WaitTime reply, WaitTime wakeUp, WaitTime data);
void restoreWaits();

}  // namespace proto

#endif  // MOTIONSTAR_PROTOCOL_LIMITS_H
