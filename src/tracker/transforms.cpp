// The transform step that runs once per tracker per data packet. It works on
// the precomputed combined matrices, so its only trigonometry is the sine and
// cosine of the incoming and outgoing angles, three arc tangents and one root.
#include <cmath>

#include "tracker/matrix.h"
#include "tracker/tra_common.h"

namespace {

void orientationOf(float azimuth, float elevation, float roll, float out[3][3]) {
  const float a = azimuth * kDegToRad;
  const float e = elevation * kDegToRad;
  const float r = roll * kDegToRad;
  orientationMatrix(std::sin(a), std::cos(a), std::sin(e), std::cos(e), std::sin(r), std::cos(r),
                    out);
}

}  // namespace

void transformAngles(TraPose& pose, const Matrix4& transmitter, const Matrix4& sensor) {
  float m[3][3];
  orientationOf(pose.azimuth, pose.elevation, pose.roll, m);

  // W = S3 * M^T
  float w[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      w[r][c] = sensor.m[r][0] * m[c][0] + sensor.m[r][1] * m[c][1] + sensor.m[r][2] * m[c][2];
    }
  }
  // Only five elements of N = W * T3 carry the angles.
  const auto n = [&](int r, int c) {
    return w[r][0] * transmitter.m[0][c] + w[r][1] * transmitter.m[1][c] +
           w[r][2] * transmitter.m[2][c];
  };
  const float n20 = n(2, 0), n21 = n(2, 1), n22 = n(2, 2);
  const float n01 = n(0, 1), n11 = n(1, 1);

  pose.azimuth = std::atan2(n20, n22) * kRadToDeg;
  pose.elevation = std::atan2(-n21, std::sqrt(n20 * n20 + n22 * n22)) * kRadToDeg;
  pose.roll = std::atan2(n01, n11) * kRadToDeg;
}

void CTraCommonH::applyTransforms(TraPose& pose, const Matrix4* transmitter, const Matrix4* sensor,
                                  const float* translation) {
  if (transmitter == nullptr || sensor == nullptr) return;
  const auto& t = transmitter->m;
  const auto& s = sensor->m;

  const float x = pose.x, y = pose.y, z = pose.z;
  const float qx = x * t[0][0] + y * t[1][0] + z * t[2][0] + t[3][0];
  const float qy = x * t[0][1] + y * t[1][1] + z * t[2][1] + t[3][1];
  const float qz = x * t[0][2] + y * t[1][2] + z * t[2][2] + t[3][2];

  transformAngles(pose, *transmitter, *sensor);

  // The sensor offset sits on the tracked object, so it turns with the final
  // orientation (as a column vector).
  float m[3][3];
  orientationOf(pose.azimuth, pose.elevation, pose.roll, m);
  const float d0 = s[3][0], d1 = s[3][1], d2 = s[3][2];
  float px = qx + m[0][0] * d0 + m[0][1] * d1 + m[0][2] * d2;
  float py = qy + m[1][0] * d0 + m[1][1] * d1 + m[1][2] * d2;
  float pz = qz + m[2][0] * d0 + m[2][1] * d1 + m[2][2] * d2;
  if (translation != nullptr) {
    px += translation[0];
    py += translation[1];
    pz += translation[2];
  }
  pose.x = px;
  pose.y = py;
  pose.z = pz;
}
