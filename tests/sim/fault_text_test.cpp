// Durations and repeating faults as mstar-sim and the host read them.
#include "sim/fault_text.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

TEST(FaultText, DurationsReadAsPeopleWriteThem) {
  const std::pair<const char*, long long> good[] = {
      {"500ms", 500}, {"1.5s", 1500}, {"3", 3000}, {"2m", 120000}, {"0s", 0}};
  for (const auto& [text, ms] : good) {
    milliseconds value{-1};
    EXPECT_TRUE(sim::parseDuration(text, &value)) << text;
    EXPECT_EQ(value.count(), ms) << text;
  }
  for (const char* text : {"", "s", "-1s", "5h", " 1s", "1s ", "2d", "nan", "inf", "1e9m"}) {
    milliseconds value{-1};
    EXPECT_FALSE(sim::parseDuration(text, &value)) << text;
    EXPECT_EQ(value.count(), -1) << text;
  }
}

TEST(FaultText, RepeatingFaultsEndBeforeTheNextBegins) {
  sim::RepeatingFault fault;
  std::string error;
  ASSERT_TRUE(sim::parseRepeatingFault("20s", &fault, &error)) << error;
  EXPECT_EQ(fault.every, milliseconds(20000));
  EXPECT_EQ(fault.length, milliseconds(3000));
  ASSERT_TRUE(sim::parseRepeatingFault("2s", &fault, &error)) << error;
  EXPECT_EQ(fault.length, milliseconds(1000)) << "half the period when that is shorter";
  ASSERT_TRUE(sim::parseRepeatingFault("1m,500ms", &fault, &error)) << error;
  EXPECT_EQ(fault.every, milliseconds(60000));
  EXPECT_EQ(fault.length, milliseconds(500));

  EXPECT_FALSE(sim::parseRepeatingFault("1s,1s", &fault, &error));
  EXPECT_EQ(error, "'1s,1s': each spell must end before the next begins");
  EXPECT_FALSE(sim::parseRepeatingFault("0s", &fault, &error));
  EXPECT_EQ(error, "'0s': the period must be above 0");
  EXPECT_FALSE(sim::parseRepeatingFault("10s,", &fault, &error));
  EXPECT_FALSE(sim::parseRepeatingFault("soon", &fault, &error));
  EXPECT_EQ(fault.every, milliseconds(60000)) << "left as it was";
}

}  // namespace
