#include "platform/signals.h"

#include <signal.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<bool> stopFlag{false};

void onSignal(int) {
  stopFlag = true;
}

}  // namespace

void installStopSignals() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader that went away must not kill the host mid-stop.
  signal(SIGPIPE, SIG_IGN);
}

bool stopRequested() {
  return stopFlag.load();
}

void requestStop() {
  stopFlag = true;
}

}  // namespace platform
