// What posix/ and win32/ supply for the clock and the thread id. clock.cpp
// puts the test sources in front of them, once for both systems.
#ifndef MOTIONSTAR_PLATFORM_SYSTEM_CLOCK_H
#define MOTIONSTAR_PLATFORM_SYSTEM_CLOCK_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace platform {

WallClock systemWallClock();
size_t systemLocalTime(char* buf, size_t capacity, const char* format);
uint32_t systemThreadId();

}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_SYSTEM_CLOCK_H
