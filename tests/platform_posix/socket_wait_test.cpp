// A wait for a socket interrupted by a signal the program handles (a timer,
// a profiler, the tracking host's own handlers): the wait goes on for the
// time it was given, so a reply that arrives later is still seen and a
// time-out is never reported early.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>

#include "platform/socket.h"

namespace {

using Clock = std::chrono::steady_clock;

// Where the timer's handler writes a byte, or -1 for nothing.
volatile sig_atomic_t writeOnSignal = -1;

void onTimer(int) {
  if (writeOnSignal >= 0) {
    const ssize_t written = write(writeOnSignal, "x", 1);
    (void)written;
  }
}

// A one-shot timer 50 ms into the test, its handler installed without
// SA_RESTART, as a timer's would be, so a poll it interrupts fails with
// EINTR. Everything is put back afterwards.
class InterruptingSignal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, ends_), 0);
    struct sigaction action {};
    action.sa_handler = onTimer;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous_), 0);
  }
  void TearDown() override {
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous_, nullptr);
    writeOnSignal = -1;
    close(ends_[0]);
    close(ends_[1]);
  }
  void startTimer() {
    const itimerval once{{0, 0}, {0, 50000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &once, nullptr), 0);
  }

  int ends_[2] = {-1, -1};
  struct sigaction previous_ {};
};

TEST_F(InterruptingSignal, TheWaitStillSeesWhatArrivesWhileItIsInterrupted) {
  writeOnSignal = ends_[1];
  startTimer();
  EXPECT_EQ(platform::waitReadable(ends_[0], 5, 0), 1);
}

TEST_F(InterruptingSignal, TheWaitStillLastsItsWholeTime) {
  startTimer();
  const Clock::time_point started = Clock::now();
  EXPECT_EQ(platform::waitReadable(ends_[0], 0, 300000), 0);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
  EXPECT_GE(waited.count(), 290);
}

}  // namespace
