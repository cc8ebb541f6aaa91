// A wait for a socket, and a connect, interrupted by a signal the program
// handles (a timer, a profiler, the tracking host's own handlers): the wait
// goes on for the time it was given, so a reply that arrives later is still
// seen and a time-out is never reported early.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/socket.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void ignore(int) {}

// Handles SIGUSR1 without SA_RESTART, as a timer's handler would, so a poll
// it interrupts fails with EINTR; the old handler is back afterwards.
class InterruptingSignal : public ::testing::Test {
 protected:
  void SetUp() override {
    struct sigaction action {};
    action.sa_handler = ignore;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous_), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, ends_), 0);
  }
  void TearDown() override {
    if (helper_.joinable()) helper_.join();
    close(ends_[0]);
    close(ends_[1]);
    sigaction(SIGUSR1, &previous_, nullptr);
  }
  // Signals this thread after 50 ms; then, when asked, writes a byte at 150 ms.
  void interruptThenMaybeWrite(bool write) {
    const pthread_t waiter = pthread_self();
    const int end = ends_[1];
    helper_ = std::thread([waiter, end, write] {
      std::this_thread::sleep_for(milliseconds(50));
      pthread_kill(waiter, SIGUSR1);
      std::this_thread::sleep_for(milliseconds(100));
      if (write) {
        EXPECT_EQ(::write(end, "x", 1), 1);
      }
    });
  }

  int ends_[2] = {-1, -1};
  struct sigaction previous_ {};
  std::thread helper_;
};

TEST_F(InterruptingSignal, TheWaitStillSeesWhatArrivesAfterIt) {
  interruptThenMaybeWrite(true);
  EXPECT_EQ(platform::waitReadable(ends_[0], 5, 0), 1);
}

TEST_F(InterruptingSignal, TheWaitStillLastsItsWholeTime) {
  interruptThenMaybeWrite(false);
  const Clock::time_point started = Clock::now();
  EXPECT_EQ(platform::waitReadable(ends_[0], 0, 300000), 0);
  const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - started);
  EXPECT_GE(waited.count(), 290);
}

}  // namespace
