#include "tracker/matrix.h"

#include <algorithm>
#include <cmath>

Matrix4 zeroMatrix() {
  return Matrix4{};
}

Matrix4 identityMatrix() {
  Matrix4 result{};
  for (int i = 0; i < 4; ++i) result.m[i][i] = 1.0f;
  return result;
}

Matrix4 translationMatrix(float x, float y, float z) {
  Matrix4 result{};
  result.m[0][3] = x;
  result.m[1][3] = y;
  result.m[2][3] = z;
  return result;
}

Matrix4 axisAngleMatrix(float ax, float ay, float az, float angle) {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  float k = 1.0f, q = 0.0f;
  float length = std::sqrt(ax * ax + ay * ay + az * az);
  if (!std::isfinite(length) || (length == 0.0f && (ax != 0.0f || ay != 0.0f || az != 0.0f))) {
    // The squares of a very long or very short axis overflow or vanish; the
    // axis divided by its largest component points the same way.
    const float largest = std::max({std::fabs(ax), std::fabs(ay), std::fabs(az)});
    ax /= largest;
    ay /= largest;
    az /= largest;
    length = std::sqrt(ax * ax + ay * ay + az * az);
  }
  if (length != 0.0f) {
    x = ax / length;
    y = ay / length;
    z = az / length;
    const float theta = angle * kDegToRad;
    k = std::cos(theta);
    q = std::sin(theta);
  }
  const float u = 1.0f - k;
  Matrix4 r{};
  r.m[0][0] = k + u * x * x;
  r.m[0][1] = u * x * y + z * q;
  r.m[0][2] = u * x * z - y * q;
  r.m[1][0] = u * x * y - z * q;
  r.m[1][1] = k + u * y * y;
  r.m[1][2] = u * y * z + x * q;
  r.m[2][0] = u * x * z + y * q;
  r.m[2][1] = u * y * z - x * q;
  r.m[2][2] = k + u * z * z;
  return r;
}

Matrix4 rowMatrix3(const float e[9]) {
  Matrix4 r{};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) r.m[row][col] = e[3 * row + col];
  }
  return r;
}

Matrix4 combineTransform(const Matrix4& rotation, const Matrix4& offset) {
  Matrix4 r{};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 4; ++col) r.m[row][col] = rotation.m[row][col];
  }
  r.m[3][0] = offset.m[0][3];
  r.m[3][1] = offset.m[1][3];
  r.m[3][2] = offset.m[2][3];
  r.m[3][3] = 1.0f;
  return r;
}
