// CLogH operations: the line prefix, four levels, the DEBUG filter and open
// lines that callers continue on standard output.
#ifndef MOTIONSTAR_COMMON_LOGGER_H
#define MOTIONSTAR_COMMON_LOGGER_H

#include <cstdint>

#include "motionstar/host_abi.h"

namespace logh {

enum Level { kInfo = 0, kError = 1, kWarning = 2, kDebug = 3 };

// Owner levels of the objects that hold a copy.
constexpr int32_t kDeviceOwnerLevel = 1;
constexpr int32_t kComponentOwnerLevel = 3;

void resetDefaults(CLogH& log);
// Copies at most 99 characters, so the field always stays terminated.
void setName(CLogH& log, const char* name);
void setOwnerLevel(CLogH& log, int32_t level);
// Byte-for-byte copy of a host record, with every text field terminated.
void copyFrom(CLogH& log, const CLogH& source);

bool isDebugOn(const CLogH& log);
void writePrefix(const CLogH& log);
void write(const CLogH& log, Level level, const char* text, bool lineEnd);
void info(const CLogH& log, const char* text, bool lineEnd = true);
void error(const CLogH& log, const char* text, bool lineEnd = true);
void warning(const CLogH& log, const char* text, bool lineEnd = true);
void debug(const CLogH& log, const char* text, bool lineEnd = true);
// Formats into a 256-byte buffer (longer texts are cut); adds no line end.
void debugf(const CLogH& log, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace logh

// A private logger copy owned by one object: the given record copied byte
// for byte, or a fresh default one with the owner's name, and the owner's
// level set.
class Logger {
 public:
  Logger(const CLogH* source, const char* defaultName, int32_t ownerLevel);
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  CLogH& record() { return record_; }
  const CLogH& record() const { return record_; }

  void setName(const char* name) { logh::setName(record_, name); }
  bool isDebugOn() const { return logh::isDebugOn(record_); }
  void info(const char* text, bool lineEnd = true) const { logh::info(record_, text, lineEnd); }
  void error(const char* text, bool lineEnd = true) const { logh::error(record_, text, lineEnd); }
  void warning(const char* text, bool lineEnd = true) const {
    logh::warning(record_, text, lineEnd);
  }
  void debug(const char* text, bool lineEnd = true) const { logh::debug(record_, text, lineEnd); }

 private:
  CLogH record_;
};

#endif  // MOTIONSTAR_COMMON_LOGGER_H
