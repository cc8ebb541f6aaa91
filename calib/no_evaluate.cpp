// Test library without calib_evaluate.
#include "calib/test_probe.h"
#include "motionstar/calibration.h"

namespace {
CalibProbe probe;
}

void* calib_init(char** args, int32_t count) {
  return probeInit(probe, args, count);
}

int32_t calib_exit(void* handle) {
  probeExit(probe, handle);
  return 1;
}
