// The frames a recording writes, checked against headers worked out by hand
// from the Ethernet, IPv4, UDP and TCP layouts, and taken apart again under
// every link type a capture may use.
#include <gtest/gtest.h>

#include "capture/session_builder.h"
#include "sim/capture_frames.h"

namespace capturetest {
namespace {

using sim::Endpoint;
using sim::FrameContent;
using sim::LinkType;

const Endpoint kClient{0x0A000001, 9001};
const Endpoint kDevice{0x0A000002, 5000};

TEST(CaptureFrames, UdpFrameMatchesTheHeadersWorkedOutByHand) {
  const Bytes payload = packet(10);
  const Bytes frame = sim::udpFrame(kClient, kDevice, 1, payload.data(), payload.size());
  Bytes expected = {
      0x02, 0x00, 0x0A, 0x00, 0x00, 0x02,  // destination MAC from 10.0.0.2
      0x02, 0x00, 0x0A, 0x00, 0x00, 0x01,  // source MAC from 10.0.0.1
      0x08, 0x00,                          // IPv4
      0x45, 0x00, 0x00, 0x2C,              // version 4, 20-byte header, 44 bytes
      0x00, 0x01, 0x40, 0x00,              // id 1, don't fragment
      0x40, 0x11, 0x26, 0xBE,              // TTL 64, UDP, header checksum
      0x0A, 0x00, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x02, 0x23, 0x29, 0x13, 0x88,  // ports 9001 -> 5000
      0x00, 0x18, 0xA8, 0x0A,  // length 24, checksum
  };
  expected.insert(expected.end(), payload.begin(), payload.end());
  EXPECT_EQ(frame, expected);
}

TEST(CaptureFrames, TcpFrameMatchesTheHeadersWorkedOutByHand) {
  const Bytes payload = packet(20);
  const Endpoint device{0x0A000002, 6000};
  const Endpoint client{0x0A000001, 40000};
  const Bytes frame = sim::tcpFrame(device, client, 7, 50001, 1017, sim::kTcpPsh | sim::kTcpAck,
                                    payload.data(), payload.size());
  ASSERT_EQ(frame.size(), 14u + 20 + 20 + 16);
  const Bytes ip(frame.begin() + 14, frame.begin() + 34);
  EXPECT_EQ(ip, (Bytes{0x45, 0x00, 0x00, 0x38, 0x00, 0x07, 0x40, 0x00, 0x40, 0x06,
                       0x26, 0xB7, 0x0A, 0x00, 0x00, 0x02, 0x0A, 0x00, 0x00, 0x01}));
  const Bytes tcp(frame.begin() + 34, frame.begin() + 54);
  EXPECT_EQ(tcp, (Bytes{0x17, 0x70, 0x9C, 0x40,  // ports 6000 -> 40000
                        0x00, 0x00, 0xC3, 0x51,  // seq 50001
                        0x00, 0x00, 0x03, 0xF9,  // ack 1017
                        0x50, 0x18, 0xFF, 0xFF,  // 20-byte header, PSH ACK, window
                        0x09, 0xBF, 0x00, 0x00}));
}

// An IPv4 packet of `frame` (an Ethernet frame) behind another link header.
Bytes relinked(LinkType link, const Bytes& frame) {
  const Bytes ip(frame.begin() + 14, frame.end());
  Bytes head;
  switch (link) {
    case LinkType::kEthernet:  // with an 802.1Q tag before the type
      head = Bytes(frame.begin(), frame.begin() + 12);
      head.insert(head.end(), {0x81, 0x00, 0x00, 0x05, 0x08, 0x00});
      break;
    case LinkType::kLinuxCooked:
      head = {0, 0, 0, 1, 0, 6, 2, 0, 10, 0, 0, 1, 0, 0, 0x08, 0x00};
      break;
    case LinkType::kLinuxCooked2:
      head = {0x08, 0x00, 0, 0, 0, 0, 0, 1, 0, 1, 0, 6, 2, 0, 10, 0, 0, 1, 0, 0};
      break;
    case LinkType::kRawIp:
      break;
    case LinkType::kLoopback:
      head = {2, 0, 0, 0};  // AF_INET written by a little-endian machine
      break;
    case LinkType::kLoopbackNetwork:
      head = {0, 0, 0, 2};
      break;
  }
  head.insert(head.end(), ip.begin(), ip.end());
  return head;
}

class CaptureFramesByLink : public ::testing::TestWithParam<LinkType> {};

TEST_P(CaptureFramesByLink, UdpAndTcpPacketsComeOutWhole) {
  const Bytes payload = dataPacket(7);
  for (bool tcp : {false, true}) {
    SCOPED_TRACE(tcp ? "TCP" : "UDP");
    const Bytes frame = tcp ? sim::tcpFrame(kDevice, kClient, 3, 123456, 99, sim::kTcpAck,
                                            payload.data(), payload.size())
                            : sim::udpFrame(kDevice, kClient, 3, payload.data(), payload.size());
    Bytes bytes = relinked(GetParam(), frame);
    bytes.insert(bytes.end(), 6, 0);  // link padding after the packet
    const FrameContent c = sim::parseFrame(GetParam(), bytes.data(), bytes.size());
    ASSERT_EQ(c.kind, FrameContent::Kind::kSegment);
    EXPECT_EQ(c.tcp, tcp);
    EXPECT_EQ(c.source, kDevice);
    EXPECT_EQ(c.destination, kClient);
    EXPECT_EQ(Bytes(c.payload, c.payload + c.payloadLength), payload);
    if (tcp) {
      EXPECT_EQ(c.seq, 123456u);
    }
  }
}

std::string linkName(const ::testing::TestParamInfo<LinkType>& info) {
  static const char* const kNames[] = {"Ethernet", "LinuxCooked", "LinuxCooked2",
                                       "RawIp",    "Loopback",    "LoopbackNetwork"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(AllLinks, CaptureFramesByLink,
                         ::testing::Values(LinkType::kEthernet, LinkType::kLinuxCooked,
                                           LinkType::kLinuxCooked2, LinkType::kRawIp,
                                           LinkType::kLoopback, LinkType::kLoopbackNetwork),
                         linkName);

TEST(CaptureFrames, CutFragmentedAndForeignFramesAreToldApart) {
  const Bytes payload = dataPacket(1);
  const Bytes frame = sim::udpFrame(kDevice, kClient, 3, payload.data(), payload.size());

  Bytes cut(frame.begin(), frame.end() - 5);
  FrameContent c = sim::parseFrame(LinkType::kEthernet, cut.data(), cut.size());
  EXPECT_EQ(c.kind, FrameContent::Kind::kCut);
  EXPECT_TRUE(c.portsKnown);
  EXPECT_EQ(c.source, kDevice);

  Bytes headerOnly(frame.begin(), frame.begin() + 30);  // cut inside the IPv4 header
  EXPECT_EQ(sim::parseFrame(LinkType::kEthernet, headerOnly.data(), headerOnly.size()).kind,
            FrameContent::Kind::kOther);

  Bytes later = frame;
  later[14 + 7] = 0x10;  // fragment offset 16 x 8 bytes: no ports in it
  c = sim::parseFrame(LinkType::kEthernet, later.data(), later.size());
  EXPECT_EQ(c.kind, FrameContent::Kind::kFragment);
  EXPECT_FALSE(c.portsKnown);

  Bytes arp = frame;
  arp[12] = 0x08;
  arp[13] = 0x06;
  EXPECT_EQ(sim::parseFrame(LinkType::kEthernet, arp.data(), arp.size()).kind,
            FrameContent::Kind::kOther);
}

}  // namespace
}  // namespace capturetest
