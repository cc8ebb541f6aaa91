#include "platform/signals.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<int> requests{0};

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

// The stop signals are blocked and collected with sigtimedwait instead of a
// handler: no thread is ever interrupted by them, and every thread started
// afterwards inherits the block.
void installStopSignals() {
  const sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A reader that went away must not kill the host mid-stop: the failed
  // write says so instead.
  signal(SIGPIPE, SIG_IGN);
}

int stopRequests() {
  const sigset_t set = stopSignals();
  const timespec now{0, 0};
  while (sigtimedwait(&set, nullptr, &now) > 0) ++requests;
  return requests;
}

bool stopRequested() {
  return stopRequests() > 0;
}

}  // namespace platform
