// Taking a capture apart into the session's packets: TCP streams mended
// from their segments as a receiver would, and captures that are not a
// MotionStar session refused with the packet that shows it.
#include <gtest/gtest.h>

#include <functional>

#include "capture/session_builder.h"
#include "sim/capture_session.h"

namespace capturetest {
namespace {

using sim::CapturedFrame;
using sim::CapturedSession;

struct Seen {
  bool fromDevice;
  Bytes bytes;
  bool operator==(const Seen& other) const {
    return fromDevice == other.fromDevice && bytes == other.bytes;
  }
};

std::vector<Seen> packetsOf(const sim::CaptureFile& capture, CapturedSession* session = nullptr) {
  CapturedSession local;
  CapturedSession& s = session != nullptr ? *session : local;
  std::string problem;
  EXPECT_TRUE(sim::extractSession(capture, &s, &problem)) << problem;
  std::vector<Seen> seen;
  for (const sim::SessionPacket& p : s.packets) seen.push_back({p.fromDevice, p.bytes});
  return seen;
}

std::string problemOf(const sim::CaptureFile& capture) {
  CapturedSession session;
  std::string problem;
  EXPECT_FALSE(sim::extractSession(capture, &session, &problem));
  return problem;
}

bool notesMention(const CapturedSession& session, const std::string& text) {
  for (const std::string& note : session.notes) {
    if (note.find(text) != std::string::npos) return true;
  }
  return false;
}

// A TCP frame carrying `payload` at the sequence number `seq` of frame
// `like`, between the same ends.
CapturedFrame segmentLike(const CapturedFrame& like, uint32_t seq, const Bytes& payload) {
  const sim::FrameContent c =
      sim::parseFrame(sim::LinkType::kEthernet, like.bytes.data(), like.bytes.size());
  CapturedFrame frame = like;
  frame.bytes = sim::tcpFrame(c.source, c.destination, 99, seq, 0, sim::kTcpAck, payload.data(),
                              payload.size());
  frame.wireLength = static_cast<uint32_t>(frame.bytes.size());
  return frame;
}

uint32_t seqOf(const CapturedFrame& frame) {
  return sim::parseFrame(sim::LinkType::kEthernet, frame.bytes.data(), frame.bytes.size()).seq;
}

// Frames 0-2 are the handshake, 3-6 two exchanges, 7 on the data packets.
constexpr size_t kFirstData = 7;

TEST(TcpReassembly, RepeatedAndReorderedSegmentsGiveThePacketsOnce) {
  SessionBuilder clean(true);
  clean.typicalSession(6);
  const std::vector<Seen> expected = packetsOf(clean.capture());
  ASSERT_EQ(expected.size(), 10u);

  const struct {
    const char* name;
    std::function<void(std::vector<CapturedFrame>&)> change;
  } variants[] = {
      {"a segment captured twice",
       [](auto& f) { f.insert(f.begin() + kFirstData + 2, f[kFirstData + 2]); }},
      {"a retransmission after later segments",
       [](auto& f) { f.insert(f.begin() + kFirstData + 5, f[kFirstData + 1]); }},
      {"two segments out of order",
       [](auto& f) { std::swap(f[kFirstData + 2], f[kFirstData + 3]); }},
      {"a retransmission that overlaps two packets",
       [](auto& f) {
         // The second half of data packet 2 and all of packet 3, sent again.
         Bytes both = dataPacket(2);
         const Bytes third = dataPacket(3);
         both.insert(both.end(), third.begin(), third.end());
         const size_t half = dataPacket(2).size() / 2;
         const Bytes tail(both.begin() + static_cast<std::ptrdiff_t>(half), both.end());
         f.insert(f.begin() + kFirstData + 4,
                  segmentLike(f[kFirstData + 2], seqOf(f[kFirstData + 2]) + half, tail));
       }},
  };
  for (const auto& variant : variants) {
    SCOPED_TRACE(variant.name);
    SessionBuilder builder(true);
    builder.typicalSession(6);
    variant.change(builder.capture().frames);
    CapturedSession session;
    EXPECT_EQ(packetsOf(builder.capture(), &session), expected);
    EXPECT_FALSE(notesMention(session, "missing"));
  }
}

TEST(TcpReassembly, ALostSegmentCostsOnlyThePacketItHeld) {
  SessionBuilder clean(true);
  clean.typicalSession(6);
  std::vector<Seen> expected = packetsOf(clean.capture());
  expected.erase(expected.begin() + 4 + 2);  // data packet 2

  {
    SCOPED_TRACE("a whole packet lost");
    SessionBuilder builder(true);
    builder.typicalSession(6);
    builder.capture().frames.erase(builder.capture().frames.begin() + kFirstData + 2);
    CapturedSession session;
    EXPECT_EQ(packetsOf(builder.capture(), &session), expected);
    EXPECT_TRUE(notesMention(
        session, std::to_string(dataPacket(2).size()) + " TCP bytes missing from the capture"));
  }
  // Packet 2 in two segments, one of which the capture lost: what is left
  // of it is skipped up to packet 3.
  for (size_t lost : {0, 1}) {
    SCOPED_TRACE(lost == 0 ? "the first half lost" : "the second half lost");
    SessionBuilder builder(true);
    builder.typicalSession(2);
    const Bytes packet2 = dataPacket(2);
    builder.send(true, Bytes(packet2.begin(), packet2.begin() + 20));
    builder.send(true, Bytes(packet2.begin() + 20, packet2.end()));
    for (uint16_t i = 3; i < 6; ++i) builder.send(true, dataPacket(i));
    builder.capture().frames.erase(builder.capture().frames.begin() + kFirstData + 2 +
                                   static_cast<std::ptrdiff_t>(lost));
    CapturedSession session;
    EXPECT_EQ(packetsOf(builder.capture(), &session), expected);
    EXPECT_TRUE(notesMention(session, "skipped up to the next whole packet"));
  }
}

TEST(TcpReassembly, PacketsAreFramedByTheirCountsHoweverSegmented) {
  SessionBuilder clean(true);
  clean.typicalSession(4);
  const std::vector<Seen> expected = packetsOf(clean.capture());

  SessionBuilder builder(true);
  builder.typicalSession(0);
  Bytes two = dataPacket(0);
  const Bytes second = dataPacket(1);
  two.insert(two.end(), second.begin(), second.end());
  builder.send(true, two);  // two packets in one segment
  const Bytes third = dataPacket(2);
  for (size_t at = 0; at < third.size(); at += 7) {  // one packet in seven-byte pieces
    builder.send(
        true, Bytes(third.begin() + static_cast<std::ptrdiff_t>(at),
                    third.begin() + static_cast<std::ptrdiff_t>(std::min(at + 7, third.size()))));
  }
  builder.send(true, dataPacket(3));
  EXPECT_EQ(packetsOf(builder.capture()), expected);
}

TEST(TcpReassembly, SequenceNumbersWrapAndCapturesMayStartAfterTheHandshake) {
  SessionBuilder clean(true);
  clean.typicalSession(5);
  const std::vector<Seen> expected = packetsOf(clean.capture());

  SessionBuilder wrapping(true, 0xFFFFFFC0u, 0xFFFFFF00u);
  wrapping.typicalSession(5);
  EXPECT_EQ(packetsOf(wrapping.capture()), expected);

  SessionBuilder late(true);
  late.typicalSession(5);
  late.capture().frames.erase(late.capture().frames.begin(), late.capture().frames.begin() + 3);
  EXPECT_EQ(packetsOf(late.capture()), expected);
}

TEST(CaptureSession, UdpDatagramsAreThePacketsAndOtherDevicesAreLeftOut) {
  SessionBuilder builder(false);
  builder.typicalSession(3);
  // A second device on the same port, after the first was found.
  const Bytes stray = packet(20);
  builder.capture().frames.push_back(
      {0, 0, sim::udpFrame({0x0A000003, 5000}, {0x0A000001, 9001}, 1, stray.data(), stray.size())});
  builder.capture().frames.back().wireLength =
      static_cast<uint32_t>(builder.capture().frames.back().bytes.size());
  CapturedSession session;
  const std::vector<Seen> seen = packetsOf(builder.capture(), &session);
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0], (Seen{false, packet(10)}));
  EXPECT_EQ(seen[3], (Seen{true, packet(204)}));
  EXPECT_EQ(seen[6], (Seen{true, dataPacket(2)}));
  EXPECT_EQ(session.transport, sim::Transport::kUdp);
  EXPECT_EQ(sim::endpointText(session.device), "10.0.0.2:5000");
  EXPECT_TRUE(notesMention(session,
                           "1 packets of another device or transport left out (the "
                           "first is packet 8)"));
}

TEST(CaptureSession, WhatIsNoMotionStarSessionIsRefusedNamingTheFirstProblem) {
  {
    SCOPED_TRACE("no packet on the device's ports");
    sim::CaptureFile capture;
    const Bytes query(30, 0x11);
    capture.frames.push_back(
        {0, 0, sim::udpFrame({0x0A000001, 5353}, {0x0A000002, 53}, 1, query.data(), query.size())});
    EXPECT_EQ(problemOf(capture),
              "no packet to or from TCP port 6000 or UDP port 5000: not a MotionStar session");
  }
  {
    SCOPED_TRACE("a datagram to port 5000 that is no command");
    SessionBuilder builder(false);
    builder.send(false, Bytes{'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(
        problemOf(builder.capture()),
        "packet 1 (UDP 10.0.0.1:9001 -> 10.0.0.2:5000) is not a MotionStar command (5 bytes)");
  }
  {
    SCOPED_TRACE("a TCP stream to port 6000 that holds no commands");
    SessionBuilder builder(true);
    builder.handshake();
    Bytes other = packet(0x47);
    builder.send(false, other);
    EXPECT_EQ(
        problemOf(builder.capture()),
        "packet 4 (TCP to 10.0.0.2:6000) does not hold a MotionStar command (type byte 0x47)");
  }
  {
    SCOPED_TRACE("a packet the capture cut short");
    SessionBuilder builder(false);
    builder.typicalSession(2);
    CapturedFrame& last = builder.capture().frames.back();
    last.bytes.resize(last.bytes.size() - 10);
    EXPECT_EQ(problemOf(builder.capture()),
              "packet 6 (UDP 10.0.0.2:5000 -> 10.0.0.1:9001) was captured cut short: " +
                  std::to_string(last.bytes.size()) + " of its " + std::to_string(last.wireLength) +
                  " bytes (the capture's snap length; record with tcpdump -s 0)");
  }
  {
    SCOPED_TRACE("a fragment");
    SessionBuilder builder(false);
    builder.typicalSession(1);
    builder.capture().frames[1].bytes[14 + 6] |= 0x20;  // more fragments follow
    EXPECT_EQ(problemOf(builder.capture()),
              "packet 2 (UDP 10.0.0.2:5000 -> 10.0.0.1:9001) is a fragment of a larger IPv4 "
              "packet, which the replay does not put together");
  }
}

}  // namespace
}  // namespace capturetest
