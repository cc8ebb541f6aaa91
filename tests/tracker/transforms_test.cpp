// Matrix builders, the tracker table and the transform step, checked against
// values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/plain_log.h"
#include "tracker/matrix.h"
#include "tracker/tra_common.h"

namespace {

constexpr float kTol = 1e-5f;
constexpr float kAngleTol = 1e-3f;

void expectMatrix(const Matrix4& actual, std::initializer_list<float> expected16) {
  const float* e = expected16.begin();
  for (int i = 0; i < 16; ++i) {
    EXPECT_NEAR(actual.m[i / 4][i % 4], e[i], kTol) << "element [" << i / 4 << "][" << i % 4 << "]";
  }
}

void expectPose(const TraPose& p, float x, float y, float z, float a, float e, float r) {
  EXPECT_NEAR(p.x, x, kTol);
  EXPECT_NEAR(p.y, y, kTol);
  EXPECT_NEAR(p.z, z, kTol);
  EXPECT_NEAR(p.azimuth, a, kAngleTol);
  EXPECT_NEAR(p.elevation, e, kAngleTol);
  EXPECT_NEAR(p.roll, r, kAngleTol);
}

TEST(MatrixBuilders, TranslationCarriesOnlyTheThreeValues) {
  expectMatrix(translationMatrix(1, 2, 3), {0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0});
}

TEST(MatrixBuilders, AxisAngleTurnsRowVectorsByTheRightHandRule) {
  // +90 about z: x -> y, y -> -x.
  expectMatrix(axisAngleMatrix(0, 0, 1, 90), {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  // +90 about x: y -> z, z -> -y.
  expectMatrix(axisAngleMatrix(1, 0, 0, 90), {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0});
  // 180 about the diagonal (1, 1, 0): x <-> y, z -> -z.
  expectMatrix(axisAngleMatrix(1, 1, 0, 180), {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0});
}

TEST(MatrixBuilders, AxisLengthDoesNotMatterAndZeroAxisIsIdentity) {
  const Matrix4 unit = axisAngleMatrix(0, 0, 1, 90);
  const Matrix4 scaled = axisAngleMatrix(0, 0, 2, 90);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(unit.m[i / 4][i % 4], scaled.m[i / 4][i % 4]);
  // Axes whose squares overflow or vanish in single precision still point
  // somewhere: not an identity, not a matrix scaled by the cosine.
  expectMatrix(axisAngleMatrix(0, 0, 1e30f, 90), {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  expectMatrix(axisAngleMatrix(-1e-30f, 0, 0, -90),
               {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0});
  expectMatrix(axisAngleMatrix(3e38f, 3e38f, 0, 180),
               {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0});
  // Rows and columns 3 stay zero: only the rotation is carried.
  expectMatrix(axisAngleMatrix(0, 0, 0, 90), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
}

TEST(MatrixBuilders, RowMatrixAndCombine) {
  const float e[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Matrix4 rows = rowMatrix3(e);
  expectMatrix(rows, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 0});
  expectMatrix(combineTransform(rows, translationMatrix(-1, 0.5f, 7)),
               {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, -1, 0.5f, 7, 1});
  expectMatrix(identityMatrix(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

TEST(TrackerTable, AllocGivesDefaultRecordsAndSetTrackerChecksTheId) {
  CLogH log = plainLog("T");
  CTraCommonH tra(&log);
  EXPECT_FALSE(tra.setTracker(1, 1, nullptr, nullptr, nullptr));  // no table yet
  EXPECT_FALSE(tra.allocTrackers(0));
  EXPECT_EQ(tra.trackerCount, 0u);
  EXPECT_EQ(tra.trackers, nullptr);

  ASSERT_TRUE(tra.allocTrackers(3));
  ASSERT_EQ(tra.trackerCount, 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    const TrackerRec& rec = tra.trackers[i];
    EXPECT_EQ(rec.outputIndex, 0u);
    EXPECT_FALSE(rec.hasSensorOffset || rec.hasSensorRotation || rec.hasSensorTranslation);
    expectMatrix(rec.sensorOffset, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    expectMatrix(rec.sensorRotation, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    expectMatrix(rec.sensorTransform, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    EXPECT_EQ(rec.sensorTranslation[0] + rec.sensorTranslation[1] + rec.sensorTranslation[2], 0);
  }

  EXPECT_FALSE(tra.setTracker(4, 1, nullptr, nullptr, nullptr));
  EXPECT_FALSE(tra.setTracker(0, 1, nullptr, nullptr, nullptr));  // no record before the first

  const Matrix4 offset = translationMatrix(1, 2, 3);
  const Matrix4 rotation = axisAngleMatrix(0, 0, 1, 90);
  const float translation[3] = {4, 5, 6};
  ASSERT_TRUE(tra.setTracker(2, 7, &offset, &rotation, translation));
  const TrackerRec& rec = tra.trackers[1];
  EXPECT_EQ(rec.outputIndex, 7u);
  EXPECT_TRUE(rec.hasSensorOffset && rec.hasSensorRotation && rec.hasSensorTranslation);
  expectMatrix(rec.sensorTransform, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1});
  EXPECT_EQ(rec.sensorTranslation[2], 6);

  // A second table replaces the first with default records.
  ASSERT_TRUE(tra.allocTrackers(2));
  EXPECT_EQ(tra.trackerCount, 2u);
  EXPECT_FALSE(tra.trackers[1].hasSensorOffset);
  EXPECT_EQ(tra.trackers[1].outputIndex, 0u);
}

class Transforms : public ::testing::Test {
 protected:
  TraPose run(TraPose pose, const Matrix4& transmitter, const Matrix4& sensor,
              const float* translation = nullptr) {
    CTraCommonH::applyTransforms(pose, &transmitter, &sensor, translation);
    return pose;
  }
  const Matrix4 identity = identityMatrix();
};

TEST_F(Transforms, MissingMatrixLeavesThePoseAlone) {
  TraPose pose{1, 2, 3, 200, 100, -300};  // out-of-range angles would come back normalised
  CTraCommonH::applyTransforms(pose, nullptr, &identity, nullptr);
  CTraCommonH::applyTransforms(pose, &identity, nullptr, nullptr);
  EXPECT_EQ(pose.x, 1);
  EXPECT_EQ(pose.azimuth, 200);
  EXPECT_EQ(pose.elevation, 100);
  EXPECT_EQ(pose.roll, -300);
}

TEST_F(Transforms, IdentityKeepsAnglesWhileElevationIsInsideTheOpenRange) {
  for (float a = -170; a <= 170; a += 34) {
    for (float e = -85; e <= 85; e += 17) {
      for (float r = -175; r <= 175; r += 35) {
        SCOPED_TRACE(testing::Message() << a << " " << e << " " << r);
        expectPose(run({1, -2, 3, a, e, r}, identity, identity), 1, -2, 3, a, e, r);
      }
    }
  }
}

TEST_F(Transforms, IdentityGivesTheEquivalentTripleBeyondNinetyDegrees) {
  // (A, E, R) and (A + 180, 180 - E, R + 180) are the same orientation.
  expectPose(run({0, 0, 0, 10, 120, 30}, identity, identity), 0, 0, 0, -170, 60, -150);
  // Out-of-range azimuth and roll come back in -180 ... 180.
  expectPose(run({0, 0, 0, 200, 20, -190}, identity, identity), 0, 0, 0, -160, 20, 170);
}

TEST_F(Transforms, TransmitterOffsetMovesPositionOnly) {
  const Matrix4 t = combineTransform(identity, translationMatrix(1, 2, 3));
  expectPose(run({0, 0, 0, 10, 20, 30}, t, identity), 1, 2, 3, 10, 20, 30);
}

TEST_F(Transforms, TransmitterRotationTurnsPositionAndAngles) {
  // +90 about z maps (1, 0, 0) to (0, 1, 0); it turns about the roll axis.
  const Matrix4 tz = combineTransform(axisAngleMatrix(0, 0, 1, 90), zeroMatrix());
  expectPose(run({1, 0, 0, 0, 0, 0}, tz, identity), 0, 1, 0, 0, 0, 90);
  // +90 about y maps (1, 0, 0) to (0, 0, -1) and adds 90 to the azimuth.
  const Matrix4 ty = combineTransform(axisAngleMatrix(0, 1, 0, 90), zeroMatrix());
  expectPose(run({1, 0, 0, 30, 0, 0}, ty, identity), 0, 0, -1, 120, 0, 0);
  // The same with a longer axis.
  const Matrix4 ty3 = combineTransform(axisAngleMatrix(0, 3, 0, 90), zeroMatrix());
  expectPose(run({1, 0, 0, 30, 0, 0}, ty3, identity), 0, 0, -1, 120, 0, 0);
}

TEST_F(Transforms, SensorOffsetTurnsWithTheFinalOrientation) {
  const Matrix4 s = combineTransform(identity, translationMatrix(0, 0, 1));
  expectPose(run({0, 0, 0, 0, 0, 0}, identity, s), 0, 0, 1, 0, 0, 0);
  expectPose(run({0, 0, 0, 90, 0, 0}, identity, s), 1, 0, 0, 90, 0, 0);
}

TEST_F(Transforms, SensorTranslationIsAddedUnturned) {
  const float v[3] = {1, 2, 3};
  expectPose(run({1, 1, 1, 90, 45, 0}, identity, identity, v), 2, 3, 4, 90, 45, 0);
}

TEST_F(Transforms, EverythingAtOnce) {
  // Worked by hand: T3 = Rz(+90), transmitter offset (1, 2, 3); S3 = Rx(+90),
  // sensor offset (4, 5, 6); translation (0.5, 0.25, -1); pose at (1, 0, 0)
  // with zero angles.
  //   q = (1,0,0) T3 + (1,2,3) = (0,1,0) + (1,2,3) = (1,3,3)
  //   N = S3 T3 = [[0,1,0],[0,0,1],[1,0,0]] -> azimuth 90, elevation 0, roll 90
  //   M(90,0,90) = [[0,0,1],[1,0,0],[0,1,0]], M d = (6,4,5)
  //   position = (1,3,3) + (6,4,5) + (0.5,0.25,-1) = (7.5, 7.25, 7)
  const Matrix4 t = combineTransform(axisAngleMatrix(0, 0, 1, 90), translationMatrix(1, 2, 3));
  const Matrix4 s = combineTransform(axisAngleMatrix(1, 0, 0, 90), translationMatrix(4, 5, 6));
  const float v[3] = {0.5f, 0.25f, -1};
  expectPose(run({1, 0, 0, 0, 0, 0}, t, s, v), 7.5f, 7.25f, 7, 90, 0, 90);
}

TEST_F(Transforms, SensorRotationActsInTheSensorsFrame) {
  // S3 = Rz(+90) turns the sensor about its own roll axis; with azimuth 90:
  //   N = S3 M^T = [[0,1,0],[0,0,1],[1,0,0]] -> azimuth 90, elevation 0, roll 90.
  const Matrix4 s = combineTransform(axisAngleMatrix(0, 0, 1, 90), zeroMatrix());
  expectPose(run({1, 2, 3, 90, 0, 0}, identity, s), 1, 2, 3, 90, 0, 90);
  // The opposite turn gives the opposite roll.
  const Matrix4 back = combineTransform(axisAngleMatrix(0, 0, 1, -90), zeroMatrix());
  expectPose(run({1, 2, 3, 90, 0, 0}, identity, back), 1, 2, 3, 90, 0, -90);
}

// Column-vector rotation matrices, built from elementary turns in double
// precision: an independent route to the orientation a pose stands for.
struct Mat3 {
  double m[3][3];
};
Mat3 mul(const Mat3& a, const Mat3& b) {
  Mat3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
  return r;
}
Mat3 transposed(const Mat3& a) {
  Mat3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
  return r;
}
Mat3 orientation(double a, double e, double r) {
  const double k = M_PI / 180;
  const double ca = std::cos(a * k), sa = std::sin(a * k), ce = std::cos(e * k),
               se = std::sin(e * k), cr = std::cos(r * k), sr = std::sin(r * k);
  const Mat3 ry{{{ca, 0, sa}, {0, 1, 0}, {-sa, 0, ca}}};
  const Mat3 rx{{{1, 0, 0}, {0, ce, -se}, {0, se, ce}}};
  const Mat3 rz{{{cr, -sr, 0}, {sr, cr, 0}, {0, 0, 1}}};
  return mul(mul(ry, rx), rz);
}
Mat3 upperLeft(const Matrix4& m) {
  Mat3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = m.m[i][j];
  return r;
}

TEST_F(Transforms, RandomRotationsAndOffsetsAgreeWithElementaryTurns) {
  // Turning a row vector by T3 is turning a column vector by T3^T, so the
  // final orientation is T3^T * M * S3^T, and the sensor offset d is turned
  // by it: p T3 + t + (T3^T M S3^T) d + v.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE(trial);
    const Matrix4 t =
        combineTransform(axisAngleMatrix(unit(rng), unit(rng), unit(rng), 180 * unit(rng)),
                         translationMatrix(5 * unit(rng), 5 * unit(rng), 5 * unit(rng)));
    const Matrix4 s =
        combineTransform(axisAngleMatrix(unit(rng), unit(rng), unit(rng), 180 * unit(rng)),
                         translationMatrix(unit(rng), unit(rng), unit(rng)));
    const float v[3] = {unit(rng), unit(rng), unit(rng)};
    const TraPose in{3 * unit(rng),   3 * unit(rng),  3 * unit(rng),
                     180 * unit(rng), 85 * unit(rng), 180 * unit(rng)};
    const TraPose outPose = run(in, t, s, v);

    const Mat3 expected =
        mul(mul(transposed(upperLeft(t)), orientation(in.azimuth, in.elevation, in.roll)),
            transposed(upperLeft(s)));
    const Mat3 actual = orientation(outPose.azimuth, outPose.elevation, outPose.roll);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(actual.m[i][j], expected.m[i][j], 1e-4);
    EXPECT_LE(std::fabs(outPose.azimuth), 180);
    EXPECT_LE(std::fabs(outPose.elevation), 90);
    EXPECT_LE(std::fabs(outPose.roll), 180);

    const double p[3] = {in.x, in.y, in.z};
    const double d[3] = {s.m[3][0], s.m[3][1], s.m[3][2]};
    const float got[3] = {outPose.x, outPose.y, outPose.z};
    for (int c = 0; c < 3; ++c) {
      double want = t.m[3][c] + v[c];
      for (int k = 0; k < 3; ++k) want += p[k] * t.m[k][c] + expected.m[c][k] * d[k];
      EXPECT_NEAR(got[c], want, 1e-4);
    }
  }
}

}  // namespace
