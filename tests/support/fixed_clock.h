// Fixes the clock and thread id of the platform layer for one test, so log
// prefixes are known: "Dec 06 14:09:53 NAME[42]: ".
#ifndef MOTIONSTAR_TESTS_SUPPORT_FIXED_CLOCK_H
#define MOTIONSTAR_TESTS_SUPPORT_FIXED_CLOCK_H

#include <cstdint>

#include "platform/platform.h"

class FixedClock {
 public:
  static constexpr uint32_t kThreadId = 42;
  static constexpr uint32_t kSeconds = 1765030193;  // 2025-12-06 14:09:53 UTC
  static constexpr uint16_t kMilliseconds = 250;
  static constexpr const char* kDateTime = "Dec 06 14:09:53 ";

  FixedClock();
  ~FixedClock();
};

#endif  // MOTIONSTAR_TESTS_SUPPORT_FIXED_CLOCK_H
