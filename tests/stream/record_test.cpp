// The stream record layout through the public header alone, on every build
// (64- and 32-bit, Windows): the bytes a client reads, round trips, and the
// decoder's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/stream_records.h"
#include "motionstar/stream.h"

namespace {

namespace stream = motionstar::stream;

stream::Record tracker() {
  stream::Record r;
  r.kind = stream::Kind::kTracker;
  std::strcpy(r.device, "cave");
  r.id = 3;
  r.publishedMicroseconds = 0x0102030405060708ull;
  r.sequence = 0x0A0B0C0D;
  r.stampSeconds = 0x11223344;
  r.stampMilliseconds = 0x0555;
  const double pose[6] = {1.0, -2.5, 0, 0, 0, 180.0};
  std::memcpy(r.pose, pose, sizeof pose);
  return r;
}

stream::Record controller() {
  stream::Record r;
  r.kind = stream::Kind::kController;
  std::strcpy(r.device, "a-device-name-of-32-bytes-exact!");
  r.id = 32;
  r.flags = stream::kFlagReplay;
  r.valuatorCount = 32;
  r.buttonCount = 32;
  r.buttons = 0x80000005u;
  for (int i = 0; i < 32; ++i) r.valuators[i] = -1.0 + i * 0.0625;
  return r;
}

stream::Record status() {
  stream::Record r;
  r.kind = stream::Kind::kStatus;
  std::strcpy(r.device, "side");
  r.state = stream::DeviceState::kRecovering;
  r.dropouts = 7;
  r.recoveries = 6;
  r.packets = 0x1122334455667788ull;
  r.failures = 0xFFFFFFFFFFull;
  r.sequence = 4;
  return r;
}

std::vector<uint8_t> encoded(const stream::Record& record) {
  std::vector<uint8_t> bytes(stream::kMaxRecordSize);
  bytes.resize(stream::encode(record, bytes.data(), bytes.size()));
  return bytes;
}

// Decodes from a buffer of exactly `size` bytes, so a read past it is caught
// by the sanitizers.
stream::DecodeError decodeExactly(const std::vector<uint8_t>& bytes, size_t size,
                                  stream::Record* out) {
  std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
  return stream::decode(exact.data(), exact.size(), out);
}

TEST(StreamRecord, TrackerRecordHasTheDocumentedBytes) {
  std::vector<uint8_t> expected = {
      1,    1,    0,    4,                             // version, kind, flags, name length
      3,    0,    0,    0,                             // output ID
      0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // publication time
      0x0D, 0x0C, 0x0B, 0x0A,                          // sequence
      0x44, 0x33, 0x22, 0x11, 0x55, 0x05, 0,    0,     // stamp seconds, milliseconds
      'c',  'a',  'v',  'e'};
  expected.resize(64, 0);  // name padding, reserved
  for (uint64_t bits :
       {0x3FF0000000000000ull, 0xC004000000000000ull, 0ull, 0ull, 0ull, 0x4066800000000000ull}) {
    for (int i = 0; i < 8; ++i) expected.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  }
  EXPECT_EQ(encoded(tracker()), expected);
  EXPECT_EQ(stream::topicOf(tracker()), "cave/tracker/3");
}

TEST(StreamRecord, EveryKindRoundTripsThroughThePublicHeader) {
  for (const stream::Record& original : {tracker(), controller(), status()}) {
    const std::vector<uint8_t> bytes = encoded(original);
    ASSERT_EQ(bytes.size(), stream::recordSize(original.kind));
    stream::Record back;
    ASSERT_EQ(stream::decode(bytes.data(), bytes.size(), &back), stream::DecodeError::kNone);
    EXPECT_EQ(back.kind, original.kind);
    EXPECT_EQ(back.flags, original.flags);
    EXPECT_STREQ(back.device, original.device);
    EXPECT_EQ(back.id, original.id);
    EXPECT_EQ(back.publishedMicroseconds, original.publishedMicroseconds);
    EXPECT_EQ(back.sequence, original.sequence);
    EXPECT_EQ(back.stampSeconds, original.stampSeconds);
    EXPECT_EQ(back.stampMilliseconds, original.stampMilliseconds);
    EXPECT_EQ(std::memcmp(back.pose, original.pose, sizeof back.pose), 0);
    EXPECT_EQ(back.valuatorCount, original.valuatorCount);
    EXPECT_EQ(back.buttonCount, original.buttonCount);
    EXPECT_EQ(back.buttons, original.buttons);
    EXPECT_EQ(std::memcmp(back.valuators, original.valuators, sizeof back.valuators), 0);
    EXPECT_EQ(back.state, original.state);
    EXPECT_EQ(back.dropouts, original.dropouts);
    EXPECT_EQ(back.recoveries, original.recoveries);
    EXPECT_EQ(back.packets, original.packets);
    EXPECT_EQ(back.failures, original.failures);
  }
  EXPECT_EQ(stream::topicOf(controller()), "a-device-name-of-32-bytes-exact!/controller/32");
  EXPECT_EQ(stream::topicOf(status()), "side/status");
}

TEST(StreamRecord, DecoderRefusesWhatIsNotARecord) {
  stream::Record out;
  for (const stream::Record& record : {tracker(), controller(), status()}) {
    const std::vector<uint8_t> bytes = encoded(record);
    for (size_t size = 0; size < bytes.size(); ++size) {
      EXPECT_NE(decodeExactly(bytes, size, &out), stream::DecodeError::kNone) << size;
    }
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_EQ(decodeExactly(longer, longer.size(), &out), stream::DecodeError::kSize);
  }
  struct Case {
    stream::Record record;
    size_t offset;
    uint8_t value;
    stream::DecodeError expected;
  } cases[] = {
      {tracker(), 0, 2, stream::DecodeError::kVersion},
      {tracker(), 1, 0, stream::DecodeError::kKind},
      {tracker(), 1, 4, stream::DecodeError::kKind},
      {tracker(), 1, 3, stream::DecodeError::kSize},  // a tracker's bytes called a status
      {tracker(), 3, 33, stream::DecodeError::kDeviceName},
      {tracker(), 4, 0, stream::DecodeError::kId},
      {tracker(), 4, 33, stream::DecodeError::kId},
      {status(), 4, 1, stream::DecodeError::kId},
      {controller(), 64, 33, stream::DecodeError::kCount},
      {controller(), 65, 33, stream::DecodeError::kCount},
      {status(), 64, 0, stream::DecodeError::kState},
      {status(), 64, 7, stream::DecodeError::kState},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = encoded(c.record);
    bytes[c.offset] = c.value;
    out = stream::Record();
    out.id = 99;
    EXPECT_EQ(decodeExactly(bytes, bytes.size(), &out), c.expected)
        << "byte " << c.offset << " = " << int(c.value);
    EXPECT_EQ(out.id, 99u) << "a refused record leaves the output alone";
  }
}

TEST(StreamRecord, EncoderRefusesRecordsTheLayoutCannotHold) {
  uint8_t bytes[stream::kMaxRecordSize];
  stream::Record r = tracker();
  EXPECT_EQ(stream::encode(r, bytes, stream::recordSize(r.kind) - 1), 0u);
  std::memset(r.device, 'x', sizeof r.device);  // 33 bytes, no end
  EXPECT_EQ(stream::encode(r, bytes, sizeof bytes), 0u);
  r = tracker();
  r.id = 0;
  EXPECT_EQ(stream::encode(r, bytes, sizeof bytes), 0u);
  r = controller();
  r.valuatorCount = 33;
  EXPECT_EQ(stream::encode(r, bytes, sizeof bytes), 0u);
  r = status();
  r.state = static_cast<stream::DeviceState>(9);
  EXPECT_EQ(stream::encode(r, bytes, sizeof bytes), 0u);
}

// The host's publications through the stream record print as the host
// printed them.
TEST(StreamRecord, PublicationsComeBackAsTheHostPrintedThem) {
  Publication pose;
  pose.kind = Publication::kTracker;
  pose.device = "cave";
  pose.id = 17;
  pose.time = 1765030193.999;
  const double values[6] = {21474.83647, -21474.83648, 0.00001, -179.99999, 90.0, -0.00001};
  std::memcpy(pose.pose, values, sizeof values);
  Publication wand;
  wand.kind = Publication::kController;
  wand.device = "cave";
  wand.id = 1;
  wand.time = 1765030194.0;
  wand.valuators = {0.5, -0.25, -2147483.648};
  wand.buttons = {1, 0, 0, 1};
  for (const Publication& p : {pose, wand}) {
    stream::Record record;
    ASSERT_TRUE(toStreamRecord(p, &record));
    EXPECT_EQ(stream::topicOf(record), topicOf(p));
    const std::vector<uint8_t> bytes = encoded(record);
    stream::Record back;
    ASSERT_EQ(stream::decode(bytes.data(), bytes.size(), &back), stream::DecodeError::kNone);
    EXPECT_EQ(Output::jsonLine(fromStreamRecord(back)), Output::jsonLine(p));
  }
  stream::Record record;
  pose.device = std::string(33, 'd');
  EXPECT_FALSE(toStreamRecord(pose, &record));
}

}  // namespace
