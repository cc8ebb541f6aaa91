// Orientations as quaternions, in the tracker transforms' angle convention.
#include "calib/field/rotation.h"

#include <gtest/gtest.h>

#include <random>

#include "tracker/matrix.h"

namespace {

using field::Quaternion;
using field::Vec3;

// The rotation matrix (column-vector form) of a unit quaternion.
std::array<Vec3, 3> matrixOf(const Quaternion& q) {
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  return {{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
           {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
           {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}}};
}

std::array<Vec3, 3> trackerMatrix(double azimuth, double elevation, double roll) {
  const double a = azimuth * field::kDegToRad, e = elevation * field::kDegToRad,
               r = roll * field::kDegToRad;
  float m[3][3];
  orientationMatrix(std::sin(a), std::cos(a), std::sin(e), std::cos(e), std::sin(r), std::cos(r),
                    m);
  return {{{m[0][0], m[0][1], m[0][2]}, {m[1][0], m[1][1], m[1][2]}, {m[2][0], m[2][1], m[2][2]}}};
}

void expectSameMatrix(const std::array<Vec3, 3>& a, const std::array<Vec3, 3>& b, double tolerance,
                      const std::string& what) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(a[i][j], b[i][j], tolerance) << what << " [" << i << "][" << j << "]";
  }
}

TEST(Rotation, AnglesGiveTheTrackerTransformsOrientation) {
  std::mt19937 engine(3);
  std::uniform_real_distribution<double> angle(-180.0, 180.0), height(-90.0, 90.0);
  for (int i = 0; i < 200; ++i) {
    const double a = angle(engine), e = height(engine), r = angle(engine);
    const std::string what = std::to_string(a) + "," + std::to_string(e) + "," + std::to_string(r);
    // The tracker's matrix is single precision.
    expectSameMatrix(matrixOf(field::fromAngles(a, e, r)), trackerMatrix(a, e, r), 2e-6, what);
  }
}

TEST(Rotation, AnglesComeBackFromTheQuaternion) {
  std::mt19937 engine(4);
  std::uniform_real_distribution<double> angle(-179.0, 179.0), height(-89.0, 89.0);
  for (int i = 0; i < 200; ++i) {
    const double a = angle(engine), e = height(engine), r = angle(engine);
    const Vec3 back = field::toAngles(field::fromAngles(a, e, r));
    EXPECT_NEAR(back[0], a, 1e-9);
    EXPECT_NEAR(back[1], e, 1e-9);
    EXPECT_NEAR(back[2], r, 1e-9);
  }
  // Out of range or straight up or down: other angles, the same orientation.
  for (const Vec3& pose : {Vec3{190.0, 100.0, -200.0}, Vec3{30.0, 90.0, 10.0},
                           Vec3{30.0, -90.0, 10.0}, Vec3{-170.0, 90.0, 45.0}}) {
    const Vec3 back = field::toAngles(field::fromAngles(pose[0], pose[1], pose[2]));
    EXPECT_LE(std::abs(back[1]), 90.0);
    expectSameMatrix(matrixOf(field::fromAngles(back[0], back[1], back[2])),
                     matrixOf(field::fromAngles(pose[0], pose[1], pose[2])), 1e-9, "pose");
  }
}

TEST(Rotation, RotationVectorsComeBackTheShortWayRound) {
  for (const Vec3& v : {Vec3{0.01, -0.02, 0.03}, Vec3{1e-9, 0.0, -2e-9}, Vec3{0.0, 0.0, 0.0},
                        Vec3{2.0, -1.0, 1.5}, Vec3{0.0, 3.1, 0.0}}) {
    const Vec3 back = field::toRotationVector(field::fromRotationVector(v));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], v[k], 1e-12);
  }
  // -q is the same rotation as q.
  const Quaternion q = field::fromRotationVector({0.1, 0.2, -0.3});
  const Vec3 back = field::toRotationVector({-q.w, -q.x, -q.y, -q.z});
  EXPECT_NEAR(back[0], 0.1, 1e-12);
  EXPECT_NEAR(back[2], -0.3, 1e-12);
  // A turn of 5 degrees about y changes the azimuth by 5 degrees.
  EXPECT_NEAR(field::angleBetween(field::fromAngles(10, 0, 0), field::fromAngles(15, 0, 0)), 5.0,
              1e-9);
}

}  // namespace
