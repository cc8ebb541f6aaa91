// Orientations as unit quaternions, so orientation errors are rotations and
// never differences of Euler angles. The angles are those of the tracker
// transforms: the orientation matrix is M = Ry(azimuth) Rx(elevation)
// Rz(roll) for column vectors, in degrees. Standard library only: the
// calibration library evaluates with it.
#ifndef MOTIONSTAR_CALIB_FIELD_ROTATION_H
#define MOTIONSTAR_CALIB_FIELD_ROTATION_H

#include <array>
#include <cmath>

namespace field {

using Vec3 = std::array<double, 3>;

struct Quaternion {
  double w, x, y, z;
};

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kRadToDeg = 180.0 / kPi;

inline Quaternion operator*(const Quaternion& a, const Quaternion& b) {
  return {
      a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
      a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

inline Quaternion conjugate(const Quaternion& q) {
  return {q.w, -q.x, -q.y, -q.z};
}

// Ry(azimuth) * Rx(elevation) * Rz(roll).
inline Quaternion fromAngles(double azimuth, double elevation, double roll) {
  const double a = 0.5 * azimuth * kDegToRad, e = 0.5 * elevation * kDegToRad,
               r = 0.5 * roll * kDegToRad;
  const double ca = std::cos(a), sa = std::sin(a), ce = std::cos(e), se = std::sin(e),
               cr = std::cos(r), sr = std::sin(r);
  // (ca + sa j)(ce + se i)(cr + sr k), multiplied out.
  return {ca * ce * cr + sa * se * sr, ca * se * cr + sa * ce * sr, sa * ce * cr - ca * se * sr,
          ca * ce * sr - sa * se * cr};
}

// Azimuth, elevation and roll in degrees, elevation within -90 .. 90 and the
// others within -180 .. 180. Straight up or down only azimuth minus roll
// (elevation +90) or plus roll (-90) is defined; roll is taken as 0 there.
inline Vec3 toAngles(const Quaternion& q) {
  const double m02 = 2 * (q.x * q.z + q.w * q.y), m22 = 1 - 2 * (q.x * q.x + q.y * q.y);
  const double m12 = 2 * (q.y * q.z - q.w * q.x);
  const double m10 = 2 * (q.x * q.y + q.w * q.z), m11 = 1 - 2 * (q.x * q.x + q.z * q.z);
  const double cosElevation = std::sqrt(m10 * m10 + m11 * m11);
  const double elevation = std::atan2(-m12, cosElevation) * kRadToDeg;
  if (cosElevation > 1e-9) {
    return {std::atan2(m02, m22) * kRadToDeg, elevation, std::atan2(m10, m11) * kRadToDeg};
  }
  const double m00 = 1 - 2 * (q.y * q.y + q.z * q.z), m01 = 2 * (q.x * q.y - q.w * q.z);
  const double sign = m12 < 0 ? 1.0 : -1.0;
  return {std::atan2(sign * m01, m00) * kRadToDeg, elevation, 0.0};
}

// The rotation by |v| radians about v.
inline Quaternion fromRotationVector(const Vec3& v) {
  const double angle = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  // sin(angle / 2) / angle, by its series where the division would lose digits.
  const double scale = angle < 1e-4 ? 0.5 - angle * angle / 48 : std::sin(0.5 * angle) / angle;
  return {std::cos(0.5 * angle), scale * v[0], scale * v[1], scale * v[2]};
}

// Axis times angle (radians, 0 .. pi) of a unit quaternion: the inverse of
// fromRotationVector, taking the shorter way round.
inline Vec3 toRotationVector(const Quaternion& q) {
  const double sign = q.w < 0 ? -1.0 : 1.0;
  const double s = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
  const double angle = 2 * std::atan2(s, sign * q.w);
  const double scale = s < 1e-12 ? 2.0 * sign : sign * angle / s;
  return {scale * q.x, scale * q.y, scale * q.z};
}

// Angle in degrees of the rotation that turns a into b.
inline double angleBetween(const Quaternion& a, const Quaternion& b) {
  const Vec3 v = toRotationVector(b * conjugate(a));
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * kRadToDeg;
}

}  // namespace field

#endif  // MOTIONSTAR_CALIB_FIELD_ROTATION_H
