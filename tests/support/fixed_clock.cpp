#include "support/fixed_clock.h"

#include <cstring>
#include <string>

namespace {

platform::WallClock fixedWallClock() {
  return {FixedClock::kSeconds, FixedClock::kMilliseconds, -60, 0};
}

size_t fixedLocalTime(char* buf, size_t capacity, const char* format) {
  std::string text;
  if (std::strstr(format, "%b") != nullptr) text += "Dec 06 ";
  if (std::strstr(format, "%X") != nullptr) text += "14:09:53 ";
  std::strncpy(buf, text.c_str(), capacity);
  buf[capacity - 1] = '\0';
  return std::strlen(buf);
}

uint32_t fixedThreadId() {
  return FixedClock::kThreadId;
}

}  // namespace

FixedClock::FixedClock() {
  platform::setWallClockSource(fixedWallClock);
  platform::setLocalTimeSource(fixedLocalTime);
  platform::setThreadIdSource(fixedThreadId);
}

FixedClock::~FixedClock() {
  platform::setWallClockSource(nullptr);
  platform::setLocalTimeSource(nullptr);
  platform::setThreadIdSource(nullptr);
}
