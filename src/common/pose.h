// TraPose: one tracker pose on its way from decoding through calibration and
// the coordinate transforms to a published TraData record.
#ifndef MOTIONSTAR_COMMON_POSE_H
#define MOTIONSTAR_COMMON_POSE_H

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

#endif  // MOTIONSTAR_COMMON_POSE_H
