// The three entry points a calibration library exports, under these plain
// C names. The driver loads the library named in the tracker options and
// calls, from the thread that drives the device, in this order:
//
//   calib_init      once, when the device is initialised;
//   calib_evaluate  once for every tracker pose, before the coordinate
//                   transforms: whatever the library leaves in the six values
//                   is what the transforms receive;
//   calib_exit      once, when the device is stopped.
//
// The handle is whatever calib_init returns (null included); the driver gives
// it no meaning and passes it back unchanged. Results of calib_evaluate and
// calib_exit are ignored: a library cannot report failure through them.
#ifndef MOTIONSTAR_CALIB_CALIBRATION_API_H
#define MOTIONSTAR_CALIB_CALIBRATION_API_H

#include <cstdint>

#include "common/pose.h"  // TraPose: x, y, z in feet, azimuth, elevation, roll in degrees

#if defined(_WIN32)
#define MOTIONSTAR_CALIB_EXPORT __declspec(dllexport)
#else
#define MOTIONSTAR_CALIB_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// args holds the library arguments of the calibration option (the library
// name is not among them), count of them, followed by a null entry. The
// strings stay valid until calib_exit is called, and no longer: they are
// released just before calib_exit runs.
MOTIONSTAR_CALIB_EXPORT void* calib_init(char** args, int32_t count);
// May change the pose in place.
MOTIONSTAR_CALIB_EXPORT int32_t calib_evaluate(void* handle, TraPose* pose);
MOTIONSTAR_CALIB_EXPORT int32_t calib_exit(void* handle);
}

using CalibInitFn = void* (*)(char**, int32_t);
using CalibEvaluateFn = int32_t (*)(void*, TraPose*);
using CalibExitFn = int32_t (*)(void*);

#endif  // MOTIONSTAR_CALIB_CALIBRATION_API_H
