// The transform step that runs once per tracker per data packet. It works on
// the precomputed combined matrices, so its only trigonometry is the sine and
// cosine of the incoming and outgoing angles, three arc tangents and one root.
#include <cmath>

#include "tracker/matrix.h"
#include "tracker/tra_common.h"

namespace {

inline void orientationOf(float azimuth, float elevation, float roll, float m[3][3]) {
  const float a = azimuth * kDegToRad;
  const float e = elevation * kDegToRad;
  const float r = roll * kDegToRad;
  const float sA = std::sin(a), cA = std::cos(a);
  const float sE = std::sin(e), cE = std::cos(e);
  const float sR = std::sin(r), cR = std::cos(r);
  orientationMatrix(sA, cA, sE, cE, sR, cR, m);
}

}  // namespace

void transformAngles(TraPose& pose, const Matrix4& transmitter, const Matrix4& sensor) {
  float m[3][3];
  orientationOf(pose.azimuth, pose.elevation, pose.roll, m);

  // W = S3 * M^T: W[r][j] is row r of S3 times row j of M.
  const auto& s = sensor.m;
  float w[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < 3; ++j) w[r][j] = s[r][0] * m[j][0] + s[r][1] * m[j][1] + s[r][2] * m[j][2];
  }
  // Only five elements of N = W * T3 carry the angles.
  const auto& t = transmitter.m;
  const auto n = [&](int r, int c) {
    return w[r][0] * t[0][c] + w[r][1] * t[1][c] + w[r][2] * t[2][c];
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

  transformAngles(pose, *transmitter, *sensor);  // the position is left as it was

  // The sensor offset sits on the tracked object, so it turns with the final
  // orientation (as a column vector).
  float m[3][3];
  orientationOf(pose.azimuth, pose.elevation, pose.roll, m);
  const float d0 = s[3][0], d1 = s[3][1], d2 = s[3][2];

  // The transmitter turns the measured position and adds its offset. This
  // comes last so that nothing but the angles lives across the calls above.
  const float x = pose.x, y = pose.y, z = pose.z;
  float px = x * t[0][0] + y * t[1][0] + z * t[2][0] + t[3][0];
  float py = x * t[0][1] + y * t[1][1] + z * t[2][1] + t[3][1];
  float pz = x * t[0][2] + y * t[1][2] + z * t[2][2] + t[3][2];
  px += m[0][0] * d0 + m[0][1] * d1 + m[0][2] * d2;
  py += m[1][0] * d0 + m[1][1] * d1 + m[1][2] * d2;
  pz += m[2][0] * d0 + m[2][1] * d1 + m[2][2] * d2;
  if (translation != nullptr) {
    px += translation[0];
    py += translation[1];
    pz += translation[2];
  }
  pose.x = px;
  pose.y = py;
  pose.z = pz;
}
