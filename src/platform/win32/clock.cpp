#include <sys/timeb.h>
#include <time.h>
#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace platform {
namespace {

std::atomic<WallClockSource> wallClockOverride{nullptr};
std::atomic<LocalTimeSource> localTimeOverride{nullptr};
std::atomic<ThreadIdSource> threadIdOverride{nullptr};

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

}  // namespace

WallClock wallClockNow() {
  WallClockSource source = wallClockOverride.load();
  return source ? source() : systemWallClock();
}

size_t formatLocalTime(char* buf, size_t capacity, const char* format) {
  if (LocalTimeSource source = localTimeOverride.load()) return source(buf, capacity, format);
  time_t now = time(nullptr);
  // The runtime keeps localtime's result per thread.
  const tm* local = localtime(&now);
  if (local == nullptr) {
    if (capacity > 0) buf[0] = '\0';
    return 0;
  }
  return strftime(buf, capacity, format, local);
}

uint32_t currentThreadId() {
  if (ThreadIdSource source = threadIdOverride.load()) return source();
  return static_cast<uint32_t>(GetCurrentThreadId());
}

void setWallClockSource(WallClockSource source) {
  wallClockOverride = source;
}
void setLocalTimeSource(LocalTimeSource source) {
  localTimeOverride = source;
}
void setThreadIdSource(ThreadIdSource source) {
  threadIdOverride = source;
}

}  // namespace platform
