#include "common/logger.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform/platform.h"

namespace logh {
namespace {

constexpr size_t kTextField = sizeof(CLogH::name);

void copyText(char* field, const char* text) {
  std::strncpy(field, text, kTextField);
  field[kTextField - 1] = '\0';
}

}  // namespace

void resetDefaults(CLogH& log) {
  std::memset(&log, 0, sizeof log);
  log.showDate = 1;
  log.showTime = 1;
  log.showThreadId = 1;
  log.enabled = 1;
  copyText(log.name, "MESSAGE");
  copyText(log.levelLabels[kInfo], "INFO");
  copyText(log.levelLabels[kError], "ERROR");
  copyText(log.levelLabels[kWarning], "WARNING");
  copyText(log.levelLabels[kDebug], "DEBUG");
  log.debugThreshold = 1;
  log.debugLevel = 0;
  log.ownerLevel = 0;
}

void setName(CLogH& log, const char* name) {
  copyText(log.name, name ? name : "");
}

void setOwnerLevel(CLogH& log, int32_t level) {
  log.ownerLevel = level;
}

void copyFrom(CLogH& log, const CLogH& source) {
  std::memcpy(&log, &source, sizeof log);
  log.name[kTextField - 1] = '\0';
  for (size_t level = 0; level < 4; ++level) log.levelLabels[level][kTextField - 1] = '\0';
}

bool isDebugOn(const CLogH& log) {
  return log.debugLevel != 0 &&
         (log.debugLevel == log.ownerLevel || log.debugLevel >= log.debugThreshold);
}

void writePrefix(const CLogH& log) {
  char format[16] = "";
  if (log.showDate) std::strcat(format, "%b %d ");
  if (log.showTime) std::strcat(format, "%X ");
  if (format[0] != '\0') {
    char stamp[100] = "";
    platform::formatLocalTime(stamp, sizeof stamp, format);
    std::cout << stamp;
  }
  std::cout << log.name;
  if (log.showThreadId) {
    std::cout << '[' << platform::currentThreadId() << "]: ";
  } else {
    std::cout << ": ";
  }
}

void write(const CLogH& log, Level level, const char* text, bool lineEnd) {
  if (!log.enabled) return;
  if (level == kDebug && !isDebugOn(log)) return;
  writePrefix(log);
  std::cout << log.levelLabels[level] << ": " << text;
  if (lineEnd) std::cout << std::endl;
}

void info(const CLogH& log, const char* text, bool lineEnd) {
  write(log, kInfo, text, lineEnd);
}
void error(const CLogH& log, const char* text, bool lineEnd) {
  write(log, kError, text, lineEnd);
}
void warning(const CLogH& log, const char* text, bool lineEnd) {
  write(log, kWarning, text, lineEnd);
}
void debug(const CLogH& log, const char* text, bool lineEnd) {
  write(log, kDebug, text, lineEnd);
}

void debugf(const CLogH& log, const char* format, ...) {
  if (!log.enabled) return;
  char text[256] = {};
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);  // cut, never overrun
  va_end(args);
  if (!isDebugOn(log)) return;
  writePrefix(log);
  std::cout << log.levelLabels[kDebug] << ": " << text << std::flush;
}

}  // namespace logh

Logger::Logger(const CLogH* source, const char* defaultName, int32_t ownerLevel) {
  if (source != nullptr) {
    logh::copyFrom(record_, *source);
  } else {
    logh::resetDefaults(record_);
    logh::setName(record_, defaultName);
  }
  logh::setOwnerLevel(record_, ownerLevel);
}
