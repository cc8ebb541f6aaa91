// The calibration library API: the three entry points a calibration library
// exports, under these plain C names.
//
// Implemented by a calibration library (a shared library or DLL a site
// writes); called by the MotionStar module, which loads the library named in
// a tracker's `calibration` option (a path, or a name the system's library
// search finds). The module calls, in this order:
//
//   calib_init      once, from the device's init;
//   calib_evaluate  once for every tracker pose, from recvData, before the
//                   coordinate transforms: whatever the library leaves in the
//                   six values is what the transforms receive;
//   calib_exit      once, from the device's stop.
//
// Thread: the host's thread that called the device operation. One device
// makes one call at a time; several devices naming the same library share
// it and may call it from different threads at once, so a library with
// state of its own keeps it behind the handle.
//
// Blocking: every call runs inside a device operation, and calib_evaluate
// inside the host's data loop, where its time adds to every recvData: return
// promptly and never wait on I/O there. Read files in calib_init.
//
// Failures: results of calib_evaluate and calib_exit are ignored, so a
// library cannot report failure through them; it writes its own message and
// leaves the pose unchanged. A library the module cannot load, or one without
// calib_init, makes the device's init fail (-1: the host may only call
// deleteDev); one without calib_evaluate fails every recvData that meets a
// pose ("CMotionStar: Calibration failed."); one without calib_exit makes
// stop return false after the system was stopped and shut down.
//
// The handle is whatever calib_init returns (null included); the module gives
// it no meaning and passes it back unchanged.
#ifndef MOTIONSTAR_CALIBRATION_H
#define MOTIONSTAR_CALIBRATION_H

#include <cstdint>

#include "motionstar/pose.h"  // TraPose: x, y, z in feet, azimuth, elevation, roll in degrees

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

#endif  // MOTIONSTAR_CALIBRATION_H
