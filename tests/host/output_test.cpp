#include "host/output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
  p.publishedUs = 1700000000251007;  // the host's clock, beside the record's own stamp
  EXPECT_EQ(
      Output::jsonLine(p),
      "{\"time\":1700000000.250000,\"device\":\"a \\\"b\\\"\",\"type\":\"tracker\",\"id\":5,"
      "\"x\":12.00000,\"y\":-1.50000,\"z\":0.00001,\"azimuth\":-90.00299,\"elevation\":0.00000,"
      "\"roll\":180.00000,\"published\":1700000000.251007}");
  EXPECT_EQ(
      Output::csvLine(p),
      "1700000000.250000,\"a \"\"b\"\"\",tracker,5,12.00000,-1.50000,0.00001,-90.00299,0.00000,"
      "180.00000,,,1700000000.251007,,,,,");
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
  EXPECT_EQ(Output::csvLine(p), "0.000000,w,controller,1,,,,,,,-0.031;0.062,1;0;1,,,,,,");
}

std::vector<std::string> linesOf(std::FILE* file) {
  std::rewind(file);
  std::vector<std::string> lines;
  char line[512];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    lines.emplace_back(line, std::strcspn(line, "\n"));
  }
  return lines;
}

// The counters after each read: a status record only when the state
// changes, with dropouts and recoveries counted; CSV rows keep the header's
// columns.
TEST(Output, DeviceStatusIsWrittenWhenItsStateChanges) {
  for (Format format : {Format::kJsonl, Format::kCsv}) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
      Output output(format, file);
      output.deviceStats("cave", 1, 0);  // streaming
      output.deviceStats("cave", 2, 0);
      output.deviceStats("cave", 2, 1);  // stale: the first dropout
      output.deviceStats("cave", 2, 2);
      output.deviceStats("cave", 3, 2);  // streaming again: a recovery
      output.deviceStats("wall", 0, 1);  // stale from the start: no dropout
    }
    const std::vector<std::string> lines = linesOf(file);
    std::fclose(file);
    const bool csv = format == Format::kCsv;
    ASSERT_EQ(lines.size(), csv ? 5u : 4u);
    const std::string expected[4][2] = {
        {"\"device\":\"cave\",\"type\":\"status\",\"state\":\"streaming\",\"dropouts\":0,"
         "\"recoveries\":0,\"packets\":1,\"failures\":0,\"published\":",
         ",cave,status,0,,,,,,,,,"},
        {"\"state\":\"stale\",\"dropouts\":1,\"recoveries\":0,\"packets\":2,\"failures\":1,",
         ",stale,1,0,2,1"},
        {"\"state\":\"streaming\",\"dropouts\":1,\"recoveries\":1,\"packets\":3,\"failures\":2,",
         ",streaming,1,1,3,2"},
        {"\"device\":\"wall\",\"type\":\"status\",\"state\":\"stale\",\"dropouts\":0,",
         ",wall,status,0,"},
    };
    if (csv) {
      EXPECT_EQ(lines[0], Output::csvHeader());
    }
    for (size_t i = 0; i < 4; ++i) {
      const std::string& line = lines[i + (csv ? 1 : 0)];
      EXPECT_NE(line.find(expected[i][csv ? 1 : 0]), std::string::npos) << line;
      if (csv) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','),
                  std::count(lines[0].begin(), lines[0].end(), ','))
            << line;
      }
    }
  }
}

}  // namespace
