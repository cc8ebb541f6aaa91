#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "platform/platform.h"

namespace platform {
namespace {

std::atomic<WallClockSource> wallClockOverride{nullptr};
std::atomic<LocalTimeSource> localTimeOverride{nullptr};
std::atomic<ThreadIdSource> threadIdOverride{nullptr};

WallClock systemWallClock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  WallClock clock{};
  clock.seconds = static_cast<uint32_t>(now.tv_sec);
  clock.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
  clock.timezoneMinutes = static_cast<int16_t>(-local.tm_gmtoff / 60);
  clock.dstFlag = static_cast<int16_t>(local.tm_isdst > 0 ? 1 : 0);
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
  tm local{};
  localtime_r(&now, &local);
  return strftime(buf, capacity, format, &local);
}

uint32_t currentThreadId() {
  if (ThreadIdSource source = threadIdOverride.load()) return source();
  return static_cast<uint32_t>(syscall(SYS_gettid));
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
