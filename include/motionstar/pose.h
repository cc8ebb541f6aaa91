// TraPose: one tracker pose on its way from decoding through calibration and
// the coordinate transforms to a published TraData record.
//
// Defined here, with no behaviour of its own, because calibration libraries
// receive it (motionstar/calibration.h); the module fills it and a library
// may change it in place, on the thread and under the limits that header
// gives.
#ifndef MOTIONSTAR_POSE_H
#define MOTIONSTAR_POSE_H

struct TraPose {
  float x;  // feet
  float y;
  float z;
  float azimuth;  // degrees
  float elevation;
  float roll;
};
static_assert(sizeof(TraPose) == 24,
              "six single-precision values, as calibration libraries read them");

#endif  // MOTIONSTAR_POSE_H
