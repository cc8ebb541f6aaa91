#include "platform/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "platform/process.h"

namespace platform {

ChildProcess::~ChildProcess() {
  if (process_ > 0 && !ended_) {
    kill(static_cast<pid_t>(process_), SIGKILL);
    waitpid(static_cast<pid_t>(process_), nullptr, 0);
  }
  if (output_ >= 0) close(static_cast<int>(output_));
  if (errors_ >= 0) close(static_cast<int>(errors_));
}

bool ChildProcess::start(const std::vector<std::string>& argv, bool mergeStderr,
                         bool captureStderr) {
  if (argv.empty()) return false;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  int errorEnds[2] = {-1, -1};
  if (captureStderr && pipe(errorEnds) != 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return false;
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // The child gets no descriptor of ours beyond its three: a socket of a
  // test's simulator held open in the child would outlive the simulator.
  const long open = sysconf(_SC_OPEN_MAX);
  const int lastDescriptor = open > 0 && open < 65536 ? static_cast<int>(open) : 65536;
  pid_t pid = fork();
  if (pid < 0) {
    for (int end : {pipeEnds[0], pipeEnds[1], errorEnds[0], errorEnds[1]}) {
      if (end >= 0) close(end);
    }
    return false;
  }
  if (pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    if (mergeStderr) dup2(pipeEnds[1], STDERR_FILENO);
    if (captureStderr) dup2(errorEnds[1], STDERR_FILENO);
    for (int descriptor = STDERR_FILENO + 1; descriptor < lastDescriptor; ++descriptor) {
      close(descriptor);
    }
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  process_ = pid;
  output_ = pipeEnds[0];
  if (captureStderr) {
    close(errorEnds[1]);
    errors_ = errorEnds[0];
  }
  return true;
}

void ChildProcess::drainErrors() {
  while (errors_ >= 0) {
    pollfd entry{static_cast<int>(errors_), POLLIN, 0};
    if (poll(&entry, 1, 0) <= 0) return;
    char buffer[4096];
    const ssize_t got = read(static_cast<int>(errors_), buffer, sizeof buffer);
    if (got <= 0) {
      close(static_cast<int>(errors_));
      errors_ = -1;
      return;
    }
    errorText_.append(buffer, static_cast<size_t>(got));
  }
}

const std::string& ChildProcess::errorOutput() {
  drainErrors();
  return errorText_;
}

bool ChildProcess::readLine(std::string* line, int32_t timeoutMs) {
  const int64_t deadline = monotonicMilliseconds() + timeoutMs;
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      *line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return true;
    }
    const int64_t left = deadline - monotonicMilliseconds();
    if (output_ < 0 || left <= 0) return false;
    // A child blocked on a full error pipe would never write its output.
    drainErrors();
    pollfd entry{static_cast<int>(output_), POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left < 50 ? left : 50));
    if (ready < 0) return false;
    if (ready == 0) continue;
    char buffer[4096];
    ssize_t got = read(static_cast<int>(output_), buffer, sizeof buffer);
    if (got <= 0) {
      close(static_cast<int>(output_));
      output_ = -1;
      if (pending_.empty()) return false;
      *line = pending_;
      pending_.clear();
      return true;
    }
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

void ChildProcess::interrupt() {
  if (process_ > 0 && !ended_) kill(static_cast<pid_t>(process_), SIGINT);
}

int ChildProcess::wait(int32_t timeoutMs) {
  if (process_ <= 0) return -1;
  // Reaped already: its number may be another process's by now.
  if (ended_) return exitStatus_;
  const int64_t deadline = monotonicMilliseconds() + timeoutMs;
  int status = 0;
  for (;;) {
    drainErrors();
    pid_t done = waitpid(static_cast<pid_t>(process_), &status, WNOHANG);
    if (done == static_cast<pid_t>(process_)) break;
    if (monotonicMilliseconds() >= deadline) {
      kill(static_cast<pid_t>(process_), SIGKILL);
      waitpid(static_cast<pid_t>(process_), nullptr, 0);
      ended_ = true;
      return -1;
    }
    sleepMilliseconds(5);
  }
  ended_ = true;
  drainErrors();
  exitStatus_ =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return exitStatus_;
}

}  // namespace platform
