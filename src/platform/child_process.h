// A child program with its standard output read through a pipe: how tests
// run the host and the simulator as a user would.
#ifndef MOTIONSTAR_PLATFORM_CHILD_PROCESS_H
#define MOTIONSTAR_PLATFORM_CHILD_PROCESS_H

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
 public:
  ChildProcess() = default;
  // Kills a child that is still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] with the other arguments. Its standard output comes
  // through a pipe; its standard error too when mergeStderr is set, or
  // through a second pipe, read into errorOutput(), when captureStderr is.
  bool start(const std::vector<std::string>& argv, bool mergeStderr, bool captureStderr = false);
  // One line of output without its line end, waiting at most timeoutMs;
  // false at the end of the output or when the wait ran out.
  bool readLine(std::string* line, int32_t timeoutMs);
  // Asks the child to stop as Ctrl-C does.
  void interrupt();
  // The exit status, waiting at most timeoutMs; -1 (and the child killed)
  // when it did not end in time. Once it ended, the same answer at once.
  int wait(int32_t timeoutMs);
  // What the child wrote to its standard error so far (captureStderr).
  const std::string& errorOutput();

 private:
  void drainErrors();

  intptr_t process_ = -1;
  intptr_t output_ = -1;
  intptr_t errors_ = -1;
  std::string errorText_;
  std::string pending_;
  bool ended_ = false;
  int exitStatus_ = -1;
};

}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_CHILD_PROCESS_H
