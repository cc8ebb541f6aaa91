// A child program as tests and tools run it: its output line by line, its
// exit status however it ended, and no child left behind.
#include "platform/child_process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <string>

namespace {

using platform::ChildProcess;

constexpr int32_t kPatience = 10000;  // ms: far beyond what any child here takes

bool shell(ChildProcess& child, const std::string& script) {
  return child.start({"/bin/sh", "-c", script}, false);
}

TEST(ChildProcess, OutputLinesTheLastOneUnendedAndTheExitCode) {
  ChildProcess child;
  ASSERT_TRUE(shell(child, "printf 'one\\n\\ntwo'; echo oops >&2; exit 3"));
  std::string line;
  ASSERT_TRUE(child.readLine(&line, kPatience));
  EXPECT_EQ(line, "one");
  ASSERT_TRUE(child.readLine(&line, kPatience));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(child.readLine(&line, kPatience));
  EXPECT_EQ(line, "two");  // the output ended without a line end
  EXPECT_FALSE(child.readLine(&line, kPatience));
  EXPECT_EQ(child.wait(kPatience), 3);
  EXPECT_EQ(child.wait(kPatience), 3);  // reaped: asked again, not waited for
  EXPECT_EQ(child.errorOutput(), "");   // not captured: it went to the test's own

  ChildProcess missing;
  ASSERT_TRUE(missing.start({"/nonexistent/program"}, false));
  EXPECT_EQ(missing.wait(kPatience), 127);
  EXPECT_FALSE(ChildProcess().start({}, false));
}

// A child ended by a signal reads as 128 + the signal, as a shell has it.
TEST(ChildProcess, SignalsEndChildrenWithTheShellsStatus) {
  ChildProcess terminated;
  ASSERT_TRUE(shell(terminated, "kill -TERM $$; sleep 30"));
  EXPECT_EQ(terminated.wait(kPatience), 128 + SIGTERM);

  ChildProcess interrupted;
  ASSERT_TRUE(shell(interrupted, "echo ready; exec sleep 30"));
  std::string line;
  ASSERT_TRUE(interrupted.readLine(&line, kPatience));
  interrupted.interrupt();
  EXPECT_EQ(interrupted.wait(kPatience), 128 + SIGINT);
}

// A child that outlives its wait, or its ChildProcess, is killed and reaped.
TEST(ChildProcess, NoChildOutlivesItsWaitOrItsOwner) {
  std::string pid;
  {
    ChildProcess child;
    ASSERT_TRUE(shell(child, "echo $$; exec sleep 30"));
    ASSERT_TRUE(child.readLine(&pid, kPatience));
    ASSERT_EQ(kill(static_cast<pid_t>(std::stol(pid)), 0), 0);
  }
  errno = 0;
  EXPECT_EQ(kill(static_cast<pid_t>(std::stol(pid)), 0), -1);
  EXPECT_EQ(errno, ESRCH);

  ChildProcess slow;
  ASSERT_TRUE(shell(slow, "echo $$; exec sleep 30"));
  ASSERT_TRUE(slow.readLine(&pid, kPatience));
  EXPECT_EQ(slow.wait(0), -1);
  errno = 0;
  EXPECT_EQ(kill(static_cast<pid_t>(std::stol(pid)), 0), -1);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_EQ(slow.wait(kPatience), -1);  // at once: it is gone
}

}  // namespace
