// Process-level services for the programs (host, simulator): where the
// executable lives, whether standard output is a terminal, monotonic time,
// how much memory the process holds.
#ifndef MOTIONSTAR_PLATFORM_PROCESS_H
#define MOTIONSTAR_PLATFORM_PROCESS_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// Full path of the running executable; empty when unknown.
std::string executablePath();
bool stdoutIsTerminal();
uint32_t processId();
int64_t monotonicMilliseconds();
void sleepMilliseconds(int32_t milliseconds);
// The platform's file name for a loadable module called name
// ("libname.so" / "name.dll").
std::string moduleFileName(const std::string& name);
// Points file descriptor 1 at standard error and returns a stream on the
// original standard output, so a loaded module's log lines stay apart from
// the records a program writes; null on failure (nothing changed then).
std::FILE* moveStdoutAside();
// Bytes of the process's memory resident right now; 0 when unknown. Long
// runs compare it over time to see that memory stays flat.
uint64_t residentMemoryBytes();

}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_PROCESS_H
