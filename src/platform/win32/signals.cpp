#include "platform/signals.h"

#include <windows.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<int> requests{0};

BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      ++requests;
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process as soon as this handler returns, and in
      // any case some seconds later: hold it here so the main loop can stop
      // the stream and shut the device down. The process ends this thread
      // when main returns.
      ++requests;
      Sleep(4500);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void installStopSignals() {
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int stopRequests() {
  return requests.load();
}

bool stopRequested() {
  return requests.load() > 0;
}

}  // namespace platform
