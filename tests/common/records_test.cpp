#include "common/records.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/fixed_clock.h"

namespace {

// Reads a stored big-endian field byte by byte, independent of the code.
uint32_t be(const void* field) {
  const auto* p = static_cast<const uint8_t*>(field);
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

TEST(TraData, PoseIsScaledTruncatedAndBigEndian) {
  TraData record;
  std::memset(&record, 0xAB, sizeof record);
  records::traCreate(record);
  EXPECT_EQ(record.stamp.seconds, 0xABABABABu);  // host stamp left alone
  const float pose[6] = {12.0f, -1.5f, 0.000019f, -90.003f, 0.0f, 180.0f};
  records::traSetPose(record, pose);
  EXPECT_EQ(be(&record.pose[0]), 1200000u);
  EXPECT_EQ(static_cast<int32_t>(be(&record.pose[1])), -150000);
  EXPECT_EQ(be(&record.pose[2]), 1u);
  // -90.003f is -90.0029983...: truncation toward zero gives -9000299.
  EXPECT_EQ(static_cast<int32_t>(be(&record.pose[3])), -9000299);
  EXPECT_EQ(be(&record.pose[5]), 18000000u);
  EXPECT_TRUE(records::traSetId(record, 32));
  EXPECT_EQ(be(&record.header.id), 32u);
  EXPECT_FALSE(records::traSetId(record, 33));
  EXPECT_FALSE(records::traSetId(record, 0));
  EXPECT_EQ(be(&record.header.id), 32u);
}

TEST(TraData, ComparisonIgnoresTimeAndId) {
  FixedClock clock;
  TraData a, b;
  records::traCreate(a);
  records::traCreate(b);
  const float pose[6] = {1, 2, 3, 4, 5, 6};
  records::traSetPose(a, pose);
  records::traSetPose(b, pose);
  records::stampTime(a.header, a.stamp);
  records::traSetId(b, 7);
  EXPECT_TRUE(records::traEqual(a, b));
  const float moved[6] = {1, 2, 3, 4, 5, 6.00001f};
  records::traSetPose(b, moved);
  EXPECT_FALSE(records::traEqual(a, b));
}

TEST(Records, TimeStampInBothForms) {
  FixedClock clock;
  TraData record;
  records::traCreate(record);
  records::stampTime(record.header, record.stamp);
  EXPECT_EQ(be(&record.header.seconds), FixedClock::kSeconds);
  EXPECT_EQ(be(&record.header.microseconds), FixedClock::kMilliseconds * 1000u);
  EXPECT_EQ(record.stamp.seconds, FixedClock::kSeconds);
  EXPECT_EQ(record.stamp.milliseconds, FixedClock::kMilliseconds);
  EXPECT_EQ(record.stamp.timezoneMinutes, -60);
}

TEST(ConData, SettersCheckTheirBounds) {
  ConData record;
  std::memset(&record, 0xCD, sizeof record);
  records::conReset(record);
  EXPECT_EQ(record.buttonByteCount, 4u);
  EXPECT_EQ(record.headerSize, 0xCDCDCDCDu);  // reset leaves 28..35 alone

  EXPECT_FALSE(records::conSetValuatorCount(record, 33));
  EXPECT_EQ(be(&record.headerSize), 36u);
  EXPECT_EQ(be(&record.valuatorCount), 0u);
  EXPECT_TRUE(records::conSetValuatorCount(record, 2));
  EXPECT_TRUE(records::conSetButtonCount(record, 8));
  EXPECT_EQ(be(&record.valuatorEnd), 44u);
  EXPECT_EQ(be(&record.buttonCount), 8u);

  EXPECT_TRUE(records::conSetValuator(record, 1, -0.0015f));
  EXPECT_EQ(static_cast<int32_t>(be(&record.valuators[0])), -1);
  EXPECT_TRUE(records::conSetValuator(record, 2, 0.0009f));
  EXPECT_EQ(be(&record.valuators[1]), 0u);
  EXPECT_FALSE(records::conSetValuator(record, 3, 1.0f));
  EXPECT_FALSE(records::conSetValuator(record, 0, 1.0f));

  EXPECT_TRUE(records::conSetButton(record, 8, 1));
  EXPECT_EQ(record.buttons[0], 0x80);
  EXPECT_FALSE(records::conSetButton(record, 9, 1));
  EXPECT_EQ(record.buttons[1], 0);
  EXPECT_TRUE(records::conSetButton(record, 8, 0));
  EXPECT_EQ(record.buttons[0], 0);
}

TEST(ConData, ComparisonLooksAtCountsValuatorsAndButtons) {
  FixedClock clock;
  ConData a, b;
  for (ConData* r : {&a, &b}) {
    std::memset(r, 0, sizeof *r);
    records::conReset(*r);
    records::conSetValuatorCount(*r, 2);
    records::conSetButtonCount(*r, 32);
  }
  records::stampTime(a.header, a.stamp);
  EXPECT_TRUE(records::conEqual(a, b));
  records::conSetButton(b, 32, 1);
  EXPECT_EQ(b.buttons[3], 0x80);
  EXPECT_FALSE(records::conEqual(a, b));
  records::conSetButton(b, 32, 0);
  records::conSetValuator(b, 2, 0.5f);
  EXPECT_FALSE(records::conEqual(a, b));
  records::conSetValuator(b, 2, 0.0f);
  b.valuators[5] = 77;  // beyond the count: not compared
  EXPECT_TRUE(records::conEqual(a, b));
  records::conSetValuatorCount(b, 3);
  EXPECT_FALSE(records::conEqual(a, b));
}

TEST(UpdatedMask, BitLayout) {
  uint8_t mask[4] = {1, 2, 3, 4};
  records::maskClear(mask);
  EXPECT_EQ(be(mask), 0u);
  EXPECT_TRUE(records::maskMark(mask, 1));
  EXPECT_EQ(mask[3], 0x01);
  EXPECT_TRUE(records::maskMark(mask, 32));
  EXPECT_EQ(mask[0], 0x80);
  EXPECT_TRUE(records::maskMark(mask, 10));
  EXPECT_EQ(be(mask), 0x80000201u);
  EXPECT_FALSE(records::maskMark(mask, 0));
  EXPECT_FALSE(records::maskMark(mask, 33));
  EXPECT_EQ(be(mask), 0x80000201u);
}

}  // namespace
