// Test library without calib_exit; calib_evaluate leaves the pose alone.
#include "calib/test_probe.h"
#include "motionstar/calibration.h"

namespace {
CalibProbe probe;
}

void* calib_init(char** args, int32_t count) {
  return probeInit(probe, args, count);
}

int32_t calib_evaluate(void* handle, TraPose*) {
  probeEvaluate(probe, handle);
  return 1;
}
