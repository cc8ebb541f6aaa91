#include "host/output.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t be(uint32_t v) {
  uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  uint32_t out;
  std::memcpy(&out, bytes, 4);
  return out;
}

TEST(Output, TrackerRecordsDecodeAndFormat) {
  TraData record{};
  record.header.id = be(5);
  record.header.seconds = be(1700000000);
  record.header.microseconds = be(250000);
  const int32_t pose[6] = {1200000, -150000, 1, -9000299, 0, 18000000};
  for (int i = 0; i < 6; ++i)
    record.pose[i] = static_cast<int32_t>(be(static_cast<uint32_t>(pose[i])));
  Publication p = decodeTracker("a \"b\"", record);
  EXPECT_EQ(
      Output::jsonLine(p),
      "{\"time\":1700000000.250000,\"device\":\"a \\\"b\\\"\",\"type\":\"tracker\",\"id\":5,"
      "\"x\":12.00000,\"y\":-1.50000,\"z\":0.00001,\"azimuth\":-90.00299,\"elevation\":0.00000,"
      "\"roll\":180.00000}");
  EXPECT_EQ(
      Output::csvLine(p),
      "1700000000.250000,\"a \"\"b\"\"\",tracker,5,12.00000,-1.50000,0.00001,-90.00299,0.00000,"
      "180.00000,,");
}

TEST(Output, ControllerRecordsShowTheirCounts) {
  ConData record{};
  record.header.id = be(1);
  record.valuatorCount = be(2);
  record.buttonCount = be(3);
  record.valuators[0] = static_cast<int32_t>(be(static_cast<uint32_t>(-31)));
  record.valuators[1] = static_cast<int32_t>(be(62));
  record.valuators[2] = static_cast<int32_t>(be(999));  // beyond the count
  record.buttons[0] = 0x05;
  Publication p = decodeController("w", record);
  EXPECT_EQ(Output::jsonLine(p),
            "{\"time\":0.000000,\"device\":\"w\",\"type\":\"controller\",\"id\":1,"
            "\"valuators\":[-0.031,0.062],\"buttons\":[1,0,1]}");
  EXPECT_EQ(Output::csvLine(p), "0.000000,w,controller,1,,,,,,,-0.031;0.062,1;0;1");
  EXPECT_EQ(Output::csvHeader(),
            "time,device,type,id,x,y,z,azimuth,elevation,roll,valuators,buttons");
}

}  // namespace
