#include <sys/timeb.h>
#include <time.h>
#include <windows.h>

#include "platform/system_clock.h"

namespace platform {

WallClock systemWallClock() {
  _timeb now{};
  _ftime(&now);
  WallClock clock{};
  clock.seconds = static_cast<uint32_t>(now.time);
  clock.milliseconds = static_cast<uint16_t>(now.millitm);
  clock.timezoneMinutes = static_cast<int16_t>(now.timezone);
  clock.dstFlag = static_cast<int16_t>(now.dstflag != 0 ? 1 : 0);
  return clock;
}

size_t systemLocalTime(char* buf, size_t capacity, const char* format) {
  time_t now = time(nullptr);
  // The runtime keeps localtime's result per thread.
  const tm* local = localtime(&now);
  if (local == nullptr) {
    if (capacity > 0) buf[0] = '\0';
    return 0;
  }
  return strftime(buf, capacity, format, local);
}

uint32_t systemThreadId() {
  return static_cast<uint32_t>(GetCurrentThreadId());
}

}  // namespace platform
