#include "host/output.h"

#include <gtest/gtest.h>

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
  p.hostMicros = 1700000000251234;
  EXPECT_EQ(Output::jsonLine(p),
            "{\"time\":1700000000.250000,\"host_time_us\":1700000000251234,"
            "\"device\":\"a \\\"b\\\"\",\"type\":\"tracker\",\"id\":5,"
            "\"x\":12.00000,\"y\":-1.50000,\"z\":0.00001,\"azimuth\":-90.00299,"
            "\"elevation\":0.00000,\"roll\":180.00000}");
  EXPECT_EQ(Output::csvLine(p),
            "1700000000.250000,1700000000251234,\"a \"\"b\"\"\",tracker,5,12.00000,-1.50000,"
            "0.00001,-90.00299,0.00000,180.00000,,,,,,,");
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
            "{\"time\":0.000000,\"host_time_us\":0,\"device\":\"w\",\"type\":\"controller\","
            "\"id\":1,\"valuators\":[-0.031,0.062],\"buttons\":[1,0,1]}");
  EXPECT_EQ(Output::csvLine(p), "0.000000,0,w,controller,1,,,,,,,-0.031;0.062,1;0;1,,,,,");
}

// Every line of a CSV file has as many fields as its header, status lines too.
size_t csvFields(const std::string& line) {
  size_t fields = 1;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) ++fields;
  }
  return fields;
}

TEST(Output, StatusRecords) {
  StatusRecord s;
  s.device = "side";
  s.state = "lost";
  s.reason = "no data for 2.00 s, \"really\"";
  s.dropouts = 1;
  s.recoveries = 2;
  s.lastData = 1700000000.25;
  s.hostMicros = 1700000002250042;
  EXPECT_EQ(Output::jsonLine(s),
            "{\"time\":1700000002.250042,\"host_time_us\":1700000002250042,\"device\":\"side\","
            "\"type\":\"status\",\"state\":\"lost\",\"reason\":\"no data for 2.00 s, "
            "\\\"really\\\"\",\"dropouts\":1,\"recoveries\":2,\"last_data\":1700000000.250}");
  EXPECT_EQ(Output::csvLine(s),
            "1700000002.250042,1700000002250042,side,status,,,,,,,,,,lost,"
            "\"no data for 2.00 s, \"\"really\"\"\",1,2,1700000000.250");
  EXPECT_EQ(Output::csvHeader(),
            "time,host_time_us,device,type,id,x,y,z,azimuth,elevation,roll,valuators,buttons,"
            "state,reason,dropouts,recoveries,last_data");
  const size_t columns = csvFields(Output::csvHeader());
  EXPECT_EQ(csvFields(Output::csvLine(s)), columns);
  EXPECT_EQ(csvFields(Output::csvLine(Publication{})), columns);
  Publication wand;
  wand.kind = Publication::kController;
  wand.valuators = {0.5, 0.25};
  wand.buttons = {1, 0, 1};
  EXPECT_EQ(csvFields(Output::csvLine(wand)), columns);
}

// Records to a file, then sinks: the file gets the header once, then every
// record in order, and a sink sees what the file sees.
TEST(Output, WritesRecordsAndHandsThemToSinks) {
  struct Collect : RecordSink {
    std::vector<std::string> seen;
    void publish(const Publication& p) override { seen.push_back(Output::jsonLine(p)); }
    void status(const StatusRecord& s) override { seen.push_back(Output::jsonLine(s)); }
  } sink;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  Output csv(Format::kCsv, file, "records");
  csv.addSink(&sink);
  Publication p;
  p.device = "d";
  p.id = 3;
  StatusRecord s;
  s.device = "d";
  s.state = "stale";
  csv.publish(p);
  csv.status(s);
  std::rewind(file);
  char text[512] = {};
  std::string lines;
  while (std::fgets(text, sizeof text, file)) lines += text;
  std::fclose(file);
  EXPECT_EQ(lines,
            Output::csvHeader() + "\n" + Output::csvLine(p) + "\n" + Output::csvLine(s) + "\n");
  EXPECT_EQ(sink.seen, (std::vector<std::string>{Output::jsonLine(p), Output::jsonLine(s)}));
  std::string why;
  EXPECT_FALSE(csv.failed(&why));
}

#if !defined(_WIN32)
// A full disk: the output says so once and writes nothing more.
TEST(Output, AFullDiskIsReportedNotIgnored) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
  Output out(Format::kJsonl, full, "records.jsonl");
  out.publish(Publication{});
  std::string why;
  ASSERT_TRUE(out.failed(&why));
  EXPECT_EQ(why, "records.jsonl can no longer be written (No space left on device)");
  std::fclose(full);
}
#endif

}  // namespace
