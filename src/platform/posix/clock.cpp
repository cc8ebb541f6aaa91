#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/system_clock.h"

namespace platform {

WallClock systemWallClock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // The zone and daylight saving change at most between seconds; looking
  // them up once a second keeps localtime_r out of the per-record path.
  thread_local time_t zoneSecond = -1;
  thread_local long zoneOffset = 0;
  thread_local int zoneDst = 0;
  if (now.tv_sec != zoneSecond) {
    tm local{};
    localtime_r(&now.tv_sec, &local);
    zoneSecond = now.tv_sec;
    zoneOffset = local.tm_gmtoff;
    zoneDst = local.tm_isdst > 0 ? 1 : 0;
  }
  WallClock clock{};
  clock.seconds = static_cast<uint32_t>(now.tv_sec);
  clock.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
  clock.timezoneMinutes = static_cast<int16_t>(-zoneOffset / 60);
  clock.dstFlag = static_cast<int16_t>(zoneDst);
  return clock;
}

size_t systemLocalTime(char* buf, size_t capacity, const char* format) {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return strftime(buf, capacity, format, &local);
}

uint32_t systemThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

}  // namespace platform
