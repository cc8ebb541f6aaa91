// Test library: calib_evaluate moves every pose 1 foot along x.
#include "calib/test_probe.h"
#include "motionstar/calibration.h"

namespace {
CalibProbe probe;
}

void* calib_init(char** args, int32_t count) {
  return probeInit(probe, args, count);
}

int32_t calib_evaluate(void* handle, TraPose* pose) {
  probeEvaluate(probe, handle);
  pose->x += 1.0f;
  return 0;  // ignored by the driver, like every result here
}

int32_t calib_exit(void* handle) {
  probeExit(probe, handle);
  return 0;
}
