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
}

bool ChildProcess::start(const std::vector<std::string>& argv, bool mergeStderr) {
  if (argv.empty()) return false;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return false;
  }
  if (pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    if (mergeStderr) dup2(pipeEnds[1], STDERR_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  process_ = pid;
  output_ = pipeEnds[0];
  return true;
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
    pollfd entry{static_cast<int>(output_), POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(left)) <= 0) return false;
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
  const int64_t deadline = monotonicMilliseconds() + timeoutMs;
  int status = 0;
  for (;;) {
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
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace platform
