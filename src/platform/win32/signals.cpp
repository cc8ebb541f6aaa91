#include "platform/signals.h"

#include <windows.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<bool> stopFlag{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      stopFlag = true;
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process as soon as this handler returns, and in
      // any case some seconds later: hold it here so the main loop can stop
      // the stream and shut the device down. The process ends this thread
      // when main returns.
      stopFlag = true;
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

bool stopRequested() {
  return stopFlag.load();
}

void requestStop() {
  stopFlag = true;
}

}  // namespace platform
