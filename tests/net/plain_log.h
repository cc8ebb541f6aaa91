// A logger whose lines carry only name, level and text, so tests compare
// them whole: "NAME: LEVEL: text".
#ifndef MOTIONSTAR_TESTS_NET_PLAIN_LOG_H
#define MOTIONSTAR_TESTS_NET_PLAIN_LOG_H

#include "common/logger.h"

// debugLevel selects the DEBUG output of the owner with that level only.
inline CLogH plainLog(const char* name, int32_t debugLevel = 0) {
  CLogH log;
  logh::resetDefaults(log);
  logh::setName(log, name);
  log.showDate = log.showTime = log.showThreadId = 0;
  log.debugLevel = debugLevel;
  log.debugThreshold = 10;
  return log;
}

#endif  // MOTIONSTAR_TESTS_NET_PLAIN_LOG_H
