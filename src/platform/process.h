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
// Points file descriptor 1 at a pipe whose reading end goes to *readEnd,
// and returns a stream on the original standard output: what a loaded
// module writes to standard output can then be read back line by line and
// kept apart from what the program writes. Null on failure (nothing changed
// then).
std::FILE* captureStdout(intptr_t* readEnd);
// Bytes from the pipe, waiting for them; 0 once releaseStdout has closed
// its writing end and everything was read, negative on failure.
long readCapturedStdout(intptr_t readEnd, char* buffer, size_t capacity);
// Points file descriptor 1 at standard error, which ends the pipe.
void releaseStdout();
void closeCapturedStdout(intptr_t readEnd);
// Bytes of the process's memory resident right now; 0 when unknown. Long
// runs compare it over time to see that memory stays flat.
uint64_t residentMemoryBytes();

}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_PROCESS_H
