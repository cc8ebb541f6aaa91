// What a test calibration library has seen. Its calib_init returns a pointer
// to its probe as the handle, so a test that knows the library can read the
// probe back through CCalibH::calibHandle.
#ifndef MOTIONSTAR_CALIB_TEST_PROBE_H
#define MOTIONSTAR_CALIB_TEST_PROBE_H

#include <cstdint>
#include <cstring>

struct CalibProbe {
  int32_t initCalls;
  int32_t initCount;
  char** initArgs;     // the array calib_init received
  bool initArgsEnded;  // initArgs[initCount] was null
  int32_t evaluateCalls;
  void* evaluateHandle;
  // The arguments as read through initArgs at the last calib_evaluate,
  // joined by '|': shows the strings are still valid there.
  char argsAtEvaluate[256];
  int32_t exitCalls;
  void* exitHandle;
};

inline void* probeInit(CalibProbe& probe, char** args, int32_t count) {
  ++probe.initCalls;
  probe.initCount = count;
  probe.initArgs = args;
  probe.initArgsEnded = args != nullptr && args[count] == nullptr;
  return &probe;
}

inline void probeEvaluate(CalibProbe& probe, void* handle) {
  ++probe.evaluateCalls;
  probe.evaluateHandle = handle;
  char* out = probe.argsAtEvaluate;
  size_t room = sizeof probe.argsAtEvaluate - 1;
  for (int32_t i = 0; i < probe.initCount; ++i) {
    const char* parts[2] = {i == 0 ? "" : "|", probe.initArgs[i]};
    for (const char* part : parts) {
      const size_t n = std::strlen(part) < room ? std::strlen(part) : room;
      std::memcpy(out, part, n);
      out += n;
      room -= n;
    }
  }
  *out = '\0';
}

inline void probeExit(CalibProbe& probe, void* handle) {
  ++probe.exitCalls;
  probe.exitHandle = handle;
}

#endif  // MOTIONSTAR_CALIB_TEST_PROBE_H
