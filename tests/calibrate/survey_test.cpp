// Survey files and plans.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tools/calibrate/survey_plan.h"
#include "tools/calibrate/survey_table.h"

namespace {

using calibrate::PoseRow;

std::string writeText(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + "survey_" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

const std::string kHeader = "mx,my,mz,maz,mel,mro,tx,ty,tz,taz,tel,tro";

TEST(PairsFile, CommentsBlankLinesFurtherColumnsAndCarriageReturnsAreFine) {
  const std::string path =
      writeText("good.csv", "# survey of the CAVE\r\n" + kHeader + ",spread,note\r\n\r\n" +
                                "1,2,3,10,20,30,1.1,2.1,3.1,11,21,31,0.01,ok\r\n"
                                "  # a comment between\n"
                                "-1, -2 ,-3e0,-10,-20,-30,-1,-2,-3,-10,-20,-30\n");
  std::vector<calibrate::SurveyPair> pairs;
  std::string error;
  ASSERT_TRUE(calibrate::readPairs(path, &pairs, &error)) << error;
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].measured.position, (field::Vec3{1, 2, 3}));
  EXPECT_EQ(pairs[0].truth.angles, (field::Vec3{11, 21, 31}));
  EXPECT_EQ(pairs[1].measured.position, (field::Vec3{-1, -2, -3}));
}

TEST(PairsFile, ABadLineIsReportedWithItsNumber) {
  const struct {
    const char* name;
    std::string text;
    std::string error;  // after the path
  } cases[] = {
      {"header", "x,y,z\n", ":1: the header must begin with " + kHeader},
      {"short", kHeader + "\n1,2,3,4,5,6,7,8,9,10,11,12\n# note\n1,2,3,4,5,6,7,8,9,10,11\n",
       ":4: expected 12 values, found 11"},
      {"word", kHeader + "\n\n1,2,abc,4,5,6,7,8,9,10,11,12\n",
       ":3: mz is not a finite number: \"abc\""},
      {"empty field", kHeader + "\n1,2,3,4,5,6,7,8,9,,11,12\n",
       ":2: taz is not a finite number: \"\""},
      {"not finite", kHeader + "\n1,2,3,4,5,6,7,8,9,10,11,nan\n",
       ":2: tro is not a finite number: \"nan\""},
      {"no header", "# only a comment\n", ": no header line (" + kHeader + ")"},
  };
  for (const auto& c : cases) {
    const std::string path = writeText(c.name, c.text);
    std::vector<calibrate::SurveyPair> pairs;
    std::string error;
    EXPECT_FALSE(calibrate::readPairs(path, &pairs, &error)) << c.name;
    EXPECT_EQ(error, path + c.error) << c.name;
  }
}

TEST(PairsFile, WrittenPairsReadBack) {
  const std::vector<calibrate::SurveyPair> pairs = {
      {{{1.0 / 3, -2.5, 4.125}, {179.5, -45.25, 0.001}}, {{1, 2, 3}, {-1, -2, -3}}}};
  const std::string path = ::testing::TempDir() + "survey_written.csv";
  {
    std::ofstream out(path);
    calibrate::writePairs(out, pairs);
  }
  std::vector<calibrate::SurveyPair> read;
  std::string error;
  ASSERT_TRUE(calibrate::readPairs(path, &read, &error)) << error;
  ASSERT_EQ(read.size(), 1u);
  EXPECT_NEAR(read[0].measured.position[0], 1.0 / 3, 1e-9);
  EXPECT_EQ(read[0].measured.angles, pairs[0].measured.angles);
}

TEST(SurveyPlan, GridTakesTheCornersWithXFastest) {
  const field::Box box{{-4, -3, -2}, {4, 3, 2}};
  const std::vector<PoseRow> plan =
      calibrate::gridPlan(box, {3, 2, 1}, calibrate::PlanAngles{false, {10, 20, 30}}, 1);
  ASSERT_EQ(plan.size(), 6u);
  EXPECT_EQ(plan[0].position, (field::Vec3{-4, -3, 0}));  // one layer: the middle
  EXPECT_EQ(plan[1].position, (field::Vec3{0, -3, 0}));
  EXPECT_EQ(plan[5].position, (field::Vec3{4, 3, 0}));
  EXPECT_EQ(plan[3].angles, (field::Vec3{10, 20, 30}));
}

TEST(SurveyPlan, ScatteredPointsFillTheBoxOnePerCell) {
  // 64 points in a cube: the jittered grid has 4 x 4 x 4 cells and puts one
  // point in each; 50 points leave cells empty but never put two in one.
  const field::Box cube{{0, 0, 0}, {4, 4, 4}};
  const calibrate::PlanAngles random{true, {0, 0, 0}};
  for (int count : {64, 50}) {
    const std::vector<PoseRow> plan = calibrate::scatteredPlan(cube, count, random, 7);
    ASSERT_EQ(plan.size(), static_cast<size_t>(count));
    std::vector<int> perCell(64, 0);
    for (const PoseRow& pose : plan) {
      const auto& p = pose.position;
      for (int a = 0; a < 3; ++a) ASSERT_TRUE(p[a] >= 0 && p[a] < 4);
      ++perCell[static_cast<int>(p[0]) + 4 * static_cast<int>(p[1]) + 16 * static_cast<int>(p[2])];
      EXPECT_LE(std::abs(pose.angles[1]), 60.0);
    }
    for (int n : perCell) EXPECT_LE(n, 1) << count;
    if (count == 64) {
      EXPECT_EQ(std::count(perCell.begin(), perCell.end(), 1), 64);
    }
  }
  const auto again = calibrate::scatteredPlan(cube, 50, random, 7);
  const auto other = calibrate::scatteredPlan(cube, 50, random, 8);
  EXPECT_EQ(again[17].position, calibrate::scatteredPlan(cube, 50, random, 7)[17].position);
  EXPECT_NE(again[17].position, other[17].position);
}

}  // namespace
