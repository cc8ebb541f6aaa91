// A logger whose lines carry only name, level and text ("NAME: LEVEL: text"),
// so tests compare them whole.
#ifndef MOTIONSTAR_TESTS_SUPPORT_PLAIN_LOG_H
#define MOTIONSTAR_TESTS_SUPPORT_PLAIN_LOG_H

#include <cstdint>

#include "motionstar/host_abi.h"

// The logger's defaults without date, time or thread id. debugLevel selects
// the DEBUG lines of the owner with exactly that level (0: none).
CLogH plainLog(const char* name = "MESSAGE", int32_t debugLevel = 0);

#endif  // MOTIONSTAR_TESTS_SUPPORT_PLAIN_LOG_H
