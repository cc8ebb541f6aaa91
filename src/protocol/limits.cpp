#include "protocol/limits.h"

namespace proto {
namespace {

WaitTime reply = kReplyWait;
WaitTime wakeUp = kWakeUpWait;
WaitTime data = kDataWait;

}  // namespace

WaitTime replyWait() {
  return reply;
}
WaitTime wakeUpWait() {
  return wakeUp;
}
WaitTime dataWait() {
  return data;
}

void setWaitsForTesting(WaitTime replyTime, WaitTime wakeUpTime, WaitTime dataTime) {
  reply = replyTime;
  wakeUp = wakeUpTime;
  data = dataTime;
}

void restoreWaits() {
  setWaitsForTesting(kReplyWait, kWakeUpWait, kDataWait);
}

}  // namespace proto
