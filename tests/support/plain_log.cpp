#include "support/plain_log.h"

#include "common/logger.h"

CLogH plainLog(const char* name, int32_t debugLevel) {
  CLogH log;
  logh::resetDefaults(log);
  logh::setName(log, name);
  log.showDate = log.showTime = log.showThreadId = 0;
  log.debugLevel = debugLevel;
  log.debugThreshold = 10;  // above every owner level
  return log;
}
