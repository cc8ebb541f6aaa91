// The simulated room's field distortion: seeded, weak at the transmitter and
// inches at 5 ft, sharper near its metal, and turning orientations in the
// transmitter's frame with the tracker transforms' angle convention.
#include "sim/distortion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tracker/matrix.h"

namespace {

using sim::FieldDistortion;
using sim::Vec3;

constexpr double kPi = 3.14159265358979323846;

double length(const Vec3& v) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// Mean length (inches or degrees) of the displacement and the rotation over
// points spread on a sphere of the given radius around the transmitter.
std::array<double, 2> meanErrorsAt(const FieldDistortion& room, double radius) {
  std::mt19937 engine(5);
  std::normal_distribution<double> gauss;
  double shift = 0, turn = 0;
  constexpr int kPoints = 400;
  for (int i = 0; i < kPoints; ++i) {
    Vec3 p{gauss(engine), gauss(engine), gauss(engine)};
    const double scale = radius / length(p);
    for (double& v : p) v *= scale;
    shift += length(room.displacement(p)) * 12.0;
    turn += length(room.rotation(p)) * 180.0 / kPi;
  }
  return {shift / kPoints, turn / kPoints};
}

// Largest change of the displacement per foot around p.
double steepness(const FieldDistortion& room, const Vec3& p) {
  constexpr double kStep = 0.05;
  double steepest = 0;
  for (int axis = 0; axis < 3; ++axis) {
    Vec3 a = p, b = p;
    a[axis] -= kStep;
    b[axis] += kStep;
    const Vec3 da = room.displacement(a), db = room.displacement(b);
    steepest =
        std::max(steepest, length({db[0] - da[0], db[1] - da[1], db[2] - da[2]}) / (2 * kStep));
  }
  return steepest;
}

// The tracker transforms' orientation matrix of a pose.
std::array<std::array<double, 3>, 3> orientationOf(double azimuth, double elevation, double roll) {
  float m[3][3];
  const double a = azimuth * kPi / 180, e = elevation * kPi / 180, r = roll * kPi / 180;
  orientationMatrix(std::sin(a), std::cos(a), std::sin(e), std::cos(e), std::sin(r), std::cos(r),
                    m);
  std::array<std::array<double, 3>, 3> out;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out[i][j] = m[i][j];
  }
  return out;
}

TEST(FieldDistortion, OneSeedGivesOneRoomAndAnotherSeedAnother) {
  const sim::Pose pose{{2.0, -1.0, 3.5}, 40.0, -20.0, 75.0};
  const sim::Pose a = FieldDistortion(11).measure(pose);
  const sim::Pose b = FieldDistortion(11).measure(pose);
  const sim::Pose c = FieldDistortion(12).measure(pose);
  EXPECT_EQ(a.position, b.position);
  EXPECT_EQ(a.azimuth, b.azimuth);
  EXPECT_EQ(a.roll, b.roll);
  EXPECT_GT(length({a.position[0] - c.position[0], a.position[1] - c.position[1],
                    a.position[2] - c.position[2]}),
            0.01);
}

TEST(FieldDistortion, WeakNearTheTransmitterAndInchesAndDegreesAtFiveFeet) {
  for (uint32_t seed = 1; seed <= 5; ++seed) {
    const FieldDistortion room(seed);
    const auto near = meanErrorsAt(room, 0.5);
    const auto far = meanErrorsAt(room, 5.0);
    EXPECT_LT(near[0], 0.15) << "seed " << seed;  // inches
    EXPECT_LT(near[1], 0.15) << "seed " << seed;  // degrees
    EXPECT_GT(far[0], 10 * near[0]) << "seed " << seed;
    EXPECT_GT(far[1], 10 * near[1]) << "seed " << seed;
    EXPECT_GT(far[0], 1.5) << "seed " << seed;
    EXPECT_LT(far[0], 5.0) << "seed " << seed;
    EXPECT_GT(far[1], 0.5) << "seed " << seed;
    EXPECT_LT(far[1], 4.0) << "seed " << seed;
  }
}

TEST(FieldDistortion, StrengthScalesEveryErrorAndZeroLeavesThePoseAlone) {
  const Vec3 p{3.0, 1.0, -2.5};
  const Vec3 one = FieldDistortion(3, 1.0).displacement(p);
  const Vec3 two = FieldDistortion(3, 2.0).displacement(p);
  const Vec3 turnOne = FieldDistortion(3, 1.0).rotation(p);
  const Vec3 turnTwo = FieldDistortion(3, 2.0).rotation(p);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(two[k], 2 * one[k], 1e-12);
    EXPECT_NEAR(turnTwo[k], 2 * turnOne[k], 1e-12);
  }
  const sim::Pose pose{p, -150.0, 35.0, 120.0};
  const sim::Pose same = FieldDistortion(3, 0.0).measure(pose);
  EXPECT_EQ(same.position, pose.position);
  EXPECT_NEAR(same.azimuth, pose.azimuth, 1e-9);
  EXPECT_NEAR(same.elevation, pose.elevation, 1e-9);
  EXPECT_NEAR(same.roll, pose.roll, 1e-9);
}

TEST(FieldDistortion, ErrorsChangeFastestNearTheMetal) {
  for (uint32_t seed = 1; seed <= 5; ++seed) {
    const FieldDistortion room(seed);
    ASSERT_FALSE(room.sources().empty());
    for (const sim::MetalSource& source : room.sources()) {
      // A foot from the metal towards the transmitter, against the same
      // distance from the transmitter on the far side.
      const double r = length(source.centre);
      const Vec3 near{source.centre[0] * (r - 1) / r, source.centre[1] * (r - 1) / r,
                      source.centre[2] * (r - 1) / r};
      const Vec3 far{-near[0], -near[1], -near[2]};
      EXPECT_GT(steepness(room, near), 2 * steepness(room, far)) << "seed " << seed;
    }
  }
}

TEST(FieldDistortion, ReportedOrientationIsTheTrueOneTurnedInTheTransmittersFrame) {
  const FieldDistortion room(4, 3.0);  // strong, so the turn is well above rounding
  std::mt19937 engine(9);
  std::uniform_real_distribution<double> angle(-180.0, 180.0), height(-89.0, 89.0),
      place(-5.0, 5.0);
  std::vector<sim::Pose> poses;
  for (int i = 0; i < 40; ++i) {
    poses.push_back({{place(engine), place(engine), place(engine)},
                     angle(engine),
                     height(engine),
                     angle(engine)});
  }
  poses.push_back({{4.0, 2.0, -3.0}, 30.0, 90.0, 10.0});  // straight up
  poses.push_back({{-4.0, -2.0, 3.0}, 30.0, -90.0, 10.0});
  for (const sim::Pose& truth : poses) {
    const sim::Pose measured = room.measure(truth);
    const auto t = orientationOf(truth.azimuth, truth.elevation, truth.roll);
    const auto m = orientationOf(measured.azimuth, measured.elevation, measured.roll);
    // R = M_measured M_true^T, as axis and angle.
    double r[3][3];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j)
        r[i][j] = m[i][0] * t[j][0] + m[i][1] * t[j][1] + m[i][2] * t[j][2];
    }
    const double angleOfR = std::acos(std::clamp((r[0][0] + r[1][1] + r[2][2] - 1) / 2, -1.0, 1.0));
    const Vec3 axis{r[2][1] - r[1][2], r[0][2] - r[2][0], r[1][0] - r[0][1]};
    const double s = 2 * std::sin(angleOfR);
    const Vec3 expected = room.rotation(truth.position);
    ASSERT_GT(length(expected), 0.01);
    for (int k = 0; k < 3; ++k) {
      // Single-precision matrices: a few millionths of a radian.
      EXPECT_NEAR(axis[k] / s * angleOfR, expected[k], 2e-5)
          << "pose " << truth.azimuth << "," << truth.elevation << "," << truth.roll;
    }
  }
}

}  // namespace
