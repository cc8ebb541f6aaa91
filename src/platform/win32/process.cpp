#include "platform/process.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h: the process-memory query lives in KERNEL32.
#include <psapi.h>

#include <vector>

namespace platform {

std::string executablePath() {
  // Paths may exceed MAX_PATH; grow until the name fits.
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    if (length < path.size()) return std::string(path.data(), length);
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
}

bool stdoutIsTerminal() {
  return _isatty(_fileno(stdout)) != 0;
}

uint32_t processId() {
  return static_cast<uint32_t>(GetCurrentProcessId());
}

int64_t monotonicMilliseconds() {
  return static_cast<int64_t>(GetTickCount64());
}

void sleepMilliseconds(int32_t milliseconds) {
  Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

std::string moduleFileName(const std::string& name) {
  return name + ".dll";
}

std::FILE* captureStdout(intptr_t* readEnd) {
  std::fflush(stdout);
  int ends[2];
  if (_pipe(ends, 4096, _O_BINARY | _O_NOINHERIT) != 0) return nullptr;
  const int original = _dup(_fileno(stdout));
  std::FILE* stream = original >= 0 ? _fdopen(original, "w") : nullptr;
  if (stream == nullptr || _dup2(ends[1], _fileno(stdout)) != 0) {
    if (stream != nullptr)
      std::fclose(stream);
    else if (original >= 0)
      _close(original);
    _close(ends[0]);
    _close(ends[1]);
    return nullptr;
  }
  _close(ends[1]);
  *readEnd = ends[0];
  return stream;
}

long readCapturedStdout(intptr_t readEnd, char* buffer, size_t capacity) {
  const unsigned int wanted = capacity > 65536 ? 65536u : static_cast<unsigned int>(capacity);
  return _read(static_cast<int>(readEnd), buffer, wanted);
}

void releaseStdout() {
  std::fflush(stdout);
  _dup2(_fileno(stderr), _fileno(stdout));
}

void closeCapturedStdout(intptr_t readEnd) {
  _close(static_cast<int>(readEnd));
}

uint64_t residentMemoryBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<uint64_t>(counters.WorkingSetSize);
}

}  // namespace platform
