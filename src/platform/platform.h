// The operating-system layer. Everything above src/platform/ reaches the
// system only through these declarations; posix/ and win32/ implement them.
#ifndef MOTIONSTAR_PLATFORM_PLATFORM_H
#define MOTIONSTAR_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ---- time and threads

// The system time with milliseconds, and the local zone, in the host form of
// the published records.
struct WallClock {
  uint32_t seconds;  // since 1970-01-01 UTC
  uint16_t milliseconds;
  int16_t timezoneMinutes;  // minutes west of UTC
  int16_t dstFlag;          // daylight saving in force
};
WallClock wallClockNow();

// Formats the current local time with strftime into buf; returns the length.
size_t formatLocalTime(char* buf, size_t capacity, const char* format);

// Id of the calling thread, as the log prefix shows it.
uint32_t currentThreadId();

// Tests fix the clock and thread id so that whole log lines can be compared.
// Passing null restores the system's.
using WallClockSource = WallClock (*)();
using LocalTimeSource = size_t (*)(char*, size_t, const char*);
using ThreadIdSource = uint32_t (*)();
void setWallClockSource(WallClockSource source);
void setLocalTimeSource(LocalTimeSource source);
void setThreadIdSource(ThreadIdSource source);

// ---- errors

// The system's message text for an error number, ending with a line end.
std::string systemErrorText(int code);

// ---- mutexes (the handle stored in CMutexH)

void* mutexCreate();  // null on failure
void mutexDestroy(void* handle);
// Lock waits without a time limit. On failure *errorText gets the system's
// text (with its line end).
bool mutexLock(void* handle, std::string* errorText);
bool mutexUnlock(void* handle, std::string* errorText);

// ---- run-time libraries

void* libraryLoad(const char* name);  // null on failure
void* librarySymbol(void* library, const char* name);
void libraryFree(void* library);

}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_PLATFORM_H
