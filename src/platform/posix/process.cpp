#include "platform/process.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

namespace platform {

std::string executablePath() {
  char path[PATH_MAX] = {};
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

bool stdoutIsTerminal() {
  return isatty(STDOUT_FILENO) != 0;
}

uint32_t processId() {
  return static_cast<uint32_t>(getpid());
}

int64_t monotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

void sleepMilliseconds(int32_t milliseconds) {
  timespec wait{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

std::string moduleFileName(const std::string& name) {
  return "lib" + name + ".so";
}

std::FILE* captureStdout(intptr_t* readEnd) {
  std::fflush(stdout);
  int ends[2];
  if (pipe(ends) != 0) return nullptr;
  const int original = dup(STDOUT_FILENO);
  std::FILE* stream = original >= 0 ? fdopen(original, "w") : nullptr;
  if (stream == nullptr || dup2(ends[1], STDOUT_FILENO) < 0) {
    if (stream != nullptr)
      std::fclose(stream);
    else if (original >= 0)
      close(original);
    close(ends[0]);
    close(ends[1]);
    return nullptr;
  }
  close(ends[1]);
  *readEnd = ends[0];
  return stream;
}

long readCapturedStdout(intptr_t readEnd, char* buffer, size_t capacity) {
  for (;;) {
    const ssize_t got = read(static_cast<int>(readEnd), buffer, capacity);
    if (got >= 0 || errno != EINTR) return static_cast<long>(got);
  }
}

void releaseStdout() {
  std::fflush(stdout);
  dup2(STDERR_FILENO, STDOUT_FILENO);
}

void closeCapturedStdout(intptr_t readEnd) {
  close(static_cast<int>(readEnd));
}

uint64_t residentMemoryBytes() {
  // statm: total program size, then resident pages.
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  unsigned long long size = 0, resident = 0;
  int fields = std::fscanf(statm, "%llu %llu", &size, &resident);
  std::fclose(statm);
  long page = sysconf(_SC_PAGESIZE);
  if (fields != 2 || page <= 0) return 0;
  return resident * static_cast<uint64_t>(page);
}

}  // namespace platform
