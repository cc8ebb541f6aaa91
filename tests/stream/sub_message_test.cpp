// What mstar-sub makes of a message: records of mstar-host (binary and
// JSON), and everything else skipped with a reason; and the figures it keeps
// per topic.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "host/stream_records.h"
#include "tools/sub/received_message.h"
#include "tools/sub/topic_stats.h"

namespace {

namespace stream = motionstar::stream;

Publication pose(uint32_t id, double x) {
  Publication p;
  p.kind = Publication::kTracker;
  p.device = "cave";
  p.id = id;
  p.time = 1765030193.25;
  p.pose[0] = x;
  p.pose[5] = -179.5;
  return p;
}

std::string binary(const stream::Record& record) {
  uint8_t bytes[stream::kMaxRecordSize];
  return std::string(reinterpret_cast<char*>(bytes), stream::encode(record, bytes, sizeof bytes));
}

std::string binary(const Publication& p, uint32_t sequence = 1, uint8_t flags = 0) {
  stream::Record record;
  toStreamRecord(p, &record);
  record.sequence = sequence;
  record.flags = flags;
  return binary(record);
}

stream::Record status(stream::DeviceState state) {
  stream::Record s;
  s.kind = stream::Kind::kStatus;
  std::strcpy(s.device, "cave");
  s.state = state;
  s.stampSeconds = 1765030193;
  s.stampMilliseconds = 7;
  s.packets = 1200;
  s.dropouts = 2;
  s.recoveries = 1;
  return s;
}

TEST(SubMessages, RecordsOfTheHostReadBackInBothFormats) {
  Publication wand;
  wand.kind = Publication::kController;
  wand.device = "cave \"west\"";
  wand.id = 2;
  wand.time = 1765030194.5;
  wand.valuators = {0.5, -0.25};
  wand.buttons = {1, 0, 1};
  for (const Publication& p : {pose(4, 1.5), wand}) {
    for (const std::string& payload : {binary(p), Output::jsonLine(p)}) {
      Received r = interpretMessage(2, topicOf(p), payload);
      ASSERT_EQ(r.kind, Received::kRecord) << r.reason;
      EXPECT_EQ(r.binary, payload[0] != '{');
      EXPECT_EQ(Output::jsonLine(r.publication), Output::jsonLine(p));
    }
  }
  const stream::Record s = status(stream::DeviceState::kLost);
  for (const std::string& payload : {binary(s), statusJson(s)}) {
    Received r = interpretMessage(2, "cave/status", payload);
    ASSERT_EQ(r.kind, Received::kStatus) << r.reason;
    EXPECT_EQ(statusJson(r.record), statusJson(s));
  }
  EXPECT_EQ(statusJson(s),
            "{\"time\":1765030193.007000,\"device\":\"cave\",\"type\":\"status\",\"state\":"
            "\"lost\",\"dropouts\":2,\"recoveries\":1,\"packets\":1200,\"failures\":0}");
}

TEST(SubMessages, ForeignAndMalformedMessagesAreSkippedWithAReason) {
  const std::string good = binary(pose(1, 2.0));
  struct Case {
    size_t frames;
    std::string topic, payload, reason;
  } cases[] = {
      {1, "hello", "", "a message of 1 frames"},
      {3, "cave/tracker/1", good, "a message of 3 frames"},
      {2, "cave/tracker/1", "", "an empty record"},
      {2, "cave/tracker/1", good.substr(0, 100), "not a record: not the size"},
      {2, "cave/tracker/1", std::string(112, '\x7f'), "not a record: a record version"},
      {2, "cave/tracker/2", good, "a record of cave/tracker/1 under another topic"},
      {2, "cave/tracker/10", good, "under another topic"},
      {2, "cave/tracker/1", "{\"type\":", "not a JSON record"},
      {2, "cave/tracker/1", "{\"type\":\"tracker\",\"device\":\"cave\",\"time\":1,\"id\":1}",
       "not a JSON record: a tracker without \"x\""},
      {2, "cave/tracker/1", Output::jsonLine(pose(1, 2.0)) + "x", "text after the object"},
      {2, "cave/tracker/40", "{\"type\":\"tracker\",\"device\":\"cave\",\"time\":1,\"id\":40}",
       "no output ID from 1 to 32"},
      {2, "x", "{\"type\":\"weather\",\"device\":\"cave\",\"time\":1,\"id\":1}", "neither"},
      {2, "x", "{\"device\":\"cave\",\"time\":1e300,\"id\":1}", "no device or time"},
      {2, "x", "{\"a\":{\"b\":1}}", "no value this reader knows"},
      {2, "x", "{\"a\":\"\\u00", "no value this reader knows"},
      {2, "x",
       "{\"a\":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,"
       "28,29,30,31,32,33]}",
       "no value this reader knows"},
  };
  for (const Case& c : cases) {
    const Received r = interpretMessage(c.frames, c.topic, c.payload);
    EXPECT_EQ(r.kind, Received::kSkipped) << c.payload;
    EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;
  }
  // Bytes from anyone: whatever comes is read within its bounds or skipped.
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    std::string payload = i % 2 ? good : Output::jsonLine(pose(1, 2.0));
    payload.resize(random() % (payload.size() + 8));
    for (int flips = random() % 4; flips > 0 && !payload.empty(); --flips) {
      payload[random() % payload.size()] = static_cast<char>(random());
    }
    const Received r = interpretMessage(2, "cave/tracker/1", payload);
    if (r.kind != Received::kSkipped) {
      EXPECT_EQ(r.publication.device, "cave");
    }
  }
}

TEST(SubMessages, TopicStatsCountLostRecordsAndSkipRepeatedReplays) {
  TopicStats stats;
  auto add = [&](uint32_t sequence, uint8_t flags, int64_t at) {
    const Received r = interpretMessage(2, "cave/tracker/1", binary(pose(1, 0), sequence, flags));
    return stats.add("cave/tracker/1", r, at);
  };
  EXPECT_TRUE(add(4, stream::kFlagReplay, 1000));  // joined: the last value, new to us
  EXPECT_TRUE(add(5, 0, 2000));
  EXPECT_TRUE(add(8, 0, 3000));                     // 6 and 7 lost
  EXPECT_FALSE(add(8, stream::kFlagReplay, 3100));  // another joiner's replay: already shown
  EXPECT_TRUE(add(10, stream::kFlagReplay, 9000));  // 9 lost; a replay of a newer record
  EXPECT_TRUE(add(1, 0, 9500));                     // the host started again
  EXPECT_TRUE(add(2, 0, 9600));
  EXPECT_EQ(stats.lost(), 3u);
  const std::string table = stats.table(10000, false);
  EXPECT_NE(table.find("cave/tracker/1"), std::string::npos) << table;
  EXPECT_NE(table.find("      3     6.0"), std::string::npos) << "lost, longest gap ms: " << table;
}

}  // namespace
