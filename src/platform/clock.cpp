// The clock and thread id everyone above the platform layer sees: the
// system's, unless a test has put a fixed source in front of it.
#include <atomic>

#include "platform/platform.h"
#include "platform/system_clock.h"

namespace platform {
namespace {

std::atomic<WallClockSource> wallClockOverride{nullptr};
std::atomic<LocalTimeSource> localTimeOverride{nullptr};
std::atomic<ThreadIdSource> threadIdOverride{nullptr};

}  // namespace

WallClock wallClockNow() {
  if (WallClockSource source = wallClockOverride.load()) return source();
  return systemWallClock();
}

size_t formatLocalTime(char* buf, size_t capacity, const char* format) {
  if (LocalTimeSource source = localTimeOverride.load()) return source(buf, capacity, format);
  return systemLocalTime(buf, capacity, format);
}

uint32_t currentThreadId() {
  if (ThreadIdSource source = threadIdOverride.load()) return source();
  return systemThreadId();
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
