// The three kinds of field and the correction of a pose: trilinear tables
// with x fastest, polynomials and radial functions evaluated as written,
// the rotation applied in the transmitter's frame, and nothing beyond the
// surveyed volume's edge.
#include "calib/field/field_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "field_models.h"

namespace {

using field::Vec3;

TEST(FieldModel, LookUpTableOfALinearFieldReproducesItBetweenTheNodes) {
  // Trilinear interpolation is exact for a field linear in each coordinate,
  // so any mix-up of node order or weights shows.
  const auto linear = [](const Vec3& u) {
    return Vec3{u[0] + 0.5 * u[1], 2 * u[1] - u[2], 3 * u[2]};
  };
  const std::array<int, 3> counts{4, 3, 5};
  std::vector<Vec3> values;
  for (int k = 0; k < counts[2]; ++k) {
    for (int j = 0; j < counts[1]; ++j) {
      for (int i = 0; i < counts[0]; ++i) {
        values.push_back(linear({-1 + 2.0 * i / (counts[0] - 1), -1 + 2.0 * j / (counts[1] - 1),
                                 -1 + 2.0 * k / (counts[2] - 1)}));
      }
    }
  }
  const field::LutField lut(counts, values);
  std::mt19937 engine(2);
  std::uniform_real_distribution<double> inside(-1.0, 1.0);
  for (int n = 0; n < 100; ++n) {
    const Vec3 u{inside(engine), inside(engine), inside(engine)};
    const Vec3 got = lut.evaluate(u), want = linear(u);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 1e-12);
  }
  const Vec3 corner = lut.evaluate({1.0, 1.0, 1.0});
  EXPECT_NEAR(corner[2], 3.0, 1e-12);
}

TEST(FieldModel, PolynomialAndRadialFieldsSumTheirTerms) {
  const field::PolyField poly({{0, 0, 0}, {2, 0, 1}, {0, 3, 0}},
                              {{1.0, 0.0, 0.0}, {0.0, 2.0, 0.0}, {0.0, 0.0, -1.0}});
  const Vec3 u{0.5, -0.4, 0.8};
  const Vec3 p = poly.evaluate(u);
  EXPECT_NEAR(p[0], 1.0, 1e-15);
  EXPECT_NEAR(p[1], 2 * 0.25 * 0.8, 1e-15);
  EXPECT_NEAR(p[2], 0.064, 1e-15);
  EXPECT_EQ(poly.degree(), 3);

  const field::RbfField rbf(
      0.5, {{0.1, 0.2, 0.3}, {-0.5, 0.0, 0.5}}, {{1.0, 0.0, 2.0}, {0.0, -1.0, 0.0}},
      {Vec3{0.1, 0.0, 0.0}, Vec3{0.0, 1.0, 0.0}, Vec3{0.0, 0.0, 0.0}, Vec3{0.0, 0.0, 1.0}});
  const double phi0 = std::sqrt(0.16 + 0.36 + 0.25 + 0.25);
  const double phi1 = std::sqrt(1.0 + 0.16 + 0.09 + 0.25);
  const Vec3 r = rbf.evaluate(u);
  EXPECT_NEAR(r[0], 0.1 + phi0, 1e-15);
  EXPECT_NEAR(r[1], 0.5 - phi1, 1e-15);
  EXPECT_NEAR(r[2], 0.8 + 2 * phi0, 1e-15);
}

TEST(FieldModel, OutsideTheVolumeTheCorrectionIsThatAtItsEdge) {
  // Position: 0.1 ft times ux along x; orientation: 0.02 rad times uy about y.
  const field::FieldModel model = linearModel({{-2, -2, -2}, {2, 2, 2}}, 0.1, 0.02);
  const auto corrected = [&model](float x, float y, float z) {
    TraPose pose{x, y, z, 0.0f, 0.0f, 0.0f};
    field::correctPose(model, pose);
    return pose;
  };
  EXPECT_FLOAT_EQ(corrected(1.0f, 0.0f, 0.0f).x, 1.05f);
  EXPECT_FLOAT_EQ(corrected(2.0f, 0.0f, 0.0f).x, 2.1f);
  EXPECT_FLOAT_EQ(corrected(3.0f, 0.0f, 0.0f).x, 3.1f);
  EXPECT_FLOAT_EQ(corrected(50.0f, 0.0f, 0.0f).x, 50.1f);
  EXPECT_FLOAT_EQ(corrected(-9.0f, 1.0f, 0.0f).x, -9.1f);
  // 0.02 rad about y at the top face and beyond: 1.146 degrees of azimuth.
  EXPECT_NEAR(corrected(0.0f, 1.0f, 0.0f).azimuth, 0.01 * field::kRadToDeg, 1e-5);
  EXPECT_NEAR(corrected(0.0f, 2.0f, 0.0f).azimuth, 0.02 * field::kRadToDeg, 1e-5);
  EXPECT_NEAR(corrected(0.0f, 40.0f, 0.0f).azimuth, 0.02 * field::kRadToDeg, 1e-5);
}

TEST(FieldModel, OrientationTurnsInTheTransmittersFrame) {
  // A turn about the transmitter's y axis adds to the azimuth whatever the
  // elevation and roll; a turn in the sensor's frame would not.
  field::FieldModel model = linearModel({{-2, -2, -2}, {2, 2, 2}}, 0.0, 0.0);
  model.orientation = constantField({0.0, 10 * field::kDegToRad, 0.0});
  TraPose pose{0.5f, 0.5f, 0.5f, 20.0f, 40.0f, -60.0f};
  field::correctPose(model, pose);
  EXPECT_NEAR(pose.azimuth, 30.0, 1e-4);
  EXPECT_NEAR(pose.elevation, 40.0, 1e-4);
  EXPECT_NEAR(pose.roll, -60.0, 1e-4);
}

TEST(FieldModel, ANullCorrectionLeavesThePoseAsItWas) {
  const field::FieldModel model = linearModel({{-2, -2, -2}, {2, 2, 2}}, 0.0, 0.0);
  // Angles out of the usual ranges stay as they are: nothing rewrites them.
  TraPose pose{1.25f, -0.5f, 3.0f, 190.0f, 100.0f, -200.0f};
  const TraPose before = pose;
  field::correctPose(model, pose);
  EXPECT_EQ(std::memcmp(&pose, &before, sizeof pose), 0);
}

TEST(FieldModel, APositionThatIsNoNumberIsLeftAlone) {
  const field::FieldModel model = linearModel({{-2, -2, -2}, {2, 2, 2}}, 0.1, 0.02);
  TraPose pose{std::nanf(""), 0.5f, 0.5f, 10.0f, 20.0f, 30.0f};
  field::correctPose(model, pose);
  EXPECT_TRUE(std::isnan(pose.x));
  EXPECT_EQ(pose.y, 0.5f);
  EXPECT_EQ(pose.azimuth, 10.0f);
}

}  // namespace
