#include "sim/capture_frames.h"

#include <algorithm>

#include "common/byte_order.h"

namespace sim {
namespace {

constexpr size_t kEthernetHeader = 14;
constexpr size_t kIpv4Header = 20;
constexpr size_t kUdpHeader = 8;
constexpr size_t kTcpHeader = 20;
constexpr uint16_t kEtherTypeIpv4 = 0x0800;
constexpr uint16_t kEtherTypeVlan = 0x8100;
constexpr uint16_t kEtherTypeQinQ = 0x88A8;
constexpr uint8_t kProtocolTcp = 6;
constexpr uint8_t kProtocolUdp = 17;
constexpr uint32_t kAfInet = 2;

// A locally administered MAC address that carries the IPv4 address, so each
// side of a recorded session has its own.
void writeMac(uint8_t* mac, uint32_t address) {
  mac[0] = 0x02;
  mac[1] = 0x00;
  writeU32be(mac + 2, address);
}

// The sum of the IPv4 pseudo header that UDP and TCP checksums cover.
uint32_t pseudoHeaderSum(const Endpoint& from, const Endpoint& to, uint8_t protocol,
                         size_t length) {
  return (from.address >> 16) + (from.address & 0xFFFF) + (to.address >> 16) +
         (to.address & 0xFFFF) + protocol + static_cast<uint32_t>(length);
}

// Ethernet and IPv4 headers for a transport part of `transportLength`
// bytes; the transport header and payload follow at the returned size.
std::vector<uint8_t> ipv4Frame(const Endpoint& from, const Endpoint& to, uint16_t ipId,
                               uint8_t protocol, size_t transportLength) {
  std::vector<uint8_t> frame(kEthernetHeader + kIpv4Header, 0);
  writeMac(&frame[0], to.address);
  writeMac(&frame[6], from.address);
  writeU16be(&frame[12], kEtherTypeIpv4);
  uint8_t* ip = &frame[kEthernetHeader];
  ip[0] = 0x45;  // version 4, five 32-bit words
  writeU16be(ip + 2, static_cast<uint16_t>(kIpv4Header + transportLength));
  writeU16be(ip + 4, ipId);
  writeU16be(ip + 6, 0x4000);  // don't fragment
  ip[8] = 64;                  // time to live
  ip[9] = protocol;
  writeU32be(ip + 12, from.address);
  writeU32be(ip + 16, to.address);
  writeU16be(ip + 10, internetChecksum(ip, kIpv4Header));
  return frame;
}

// Where the IPv4 packet starts in a frame of `link`; false when the frame
// carries something else.
bool ipv4Start(LinkType link, const uint8_t* data, size_t length, size_t* start) {
  switch (link) {
    case LinkType::kEthernet: {
      size_t offset = 12;
      while (offset + 2 <= length) {
        const uint16_t type = readU16be(data + offset);
        if (type == kEtherTypeVlan || type == kEtherTypeQinQ) {
          offset += 4;  // an 802.1Q tag before the real type
          continue;
        }
        *start = offset + 2;
        return type == kEtherTypeIpv4;
      }
      return false;
    }
    case LinkType::kLinuxCooked:
      *start = 16;
      return length >= 16 && readU16be(data + 14) == kEtherTypeIpv4;
    case LinkType::kLinuxCooked2:
      *start = 20;
      return length >= 20 && readU16be(data) == kEtherTypeIpv4;
    case LinkType::kRawIp:
      *start = 0;
      return length >= 1 && (data[0] >> 4) == 4;
    case LinkType::kLoopback:
      // The family is in the byte order of the machine that wrote the file.
      *start = 4;
      return length >= 4 && (readU32be(data) == kAfInet ||
                             (data[0] == kAfInet && data[1] == 0 && data[2] == 0 && data[3] == 0));
    case LinkType::kLoopbackNetwork:
      *start = 4;
      return length >= 4 && readU32be(data) == kAfInet;
  }
  return false;
}

}  // namespace

uint16_t internetChecksum(const uint8_t* data, size_t length, uint32_t sum) {
  for (size_t i = 0; i + 1 < length; i += 2) sum += readU16be(data + i);
  if (length % 2 != 0) sum += static_cast<uint32_t>(data[length - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

std::vector<uint8_t> udpFrame(const Endpoint& from, const Endpoint& to, uint16_t ipId,
                              const uint8_t* payload, size_t length) {
  const size_t udpLength = kUdpHeader + length;
  std::vector<uint8_t> frame = ipv4Frame(from, to, ipId, kProtocolUdp, udpLength);
  const size_t udp = frame.size();
  frame.resize(udp + kUdpHeader);
  writeU16be(&frame[udp], from.port);
  writeU16be(&frame[udp + 2], to.port);
  writeU16be(&frame[udp + 4], static_cast<uint16_t>(udpLength));
  frame.insert(frame.end(), payload, payload + length);
  uint16_t checksum =
      internetChecksum(&frame[udp], udpLength, pseudoHeaderSum(from, to, kProtocolUdp, udpLength));
  writeU16be(&frame[udp + 6], checksum == 0 ? 0xFFFF : checksum);  // 0 would mean "none"
  return frame;
}

std::vector<uint8_t> tcpFrame(const Endpoint& from, const Endpoint& to, uint16_t ipId, uint32_t seq,
                              uint32_t ack, uint8_t flags, const uint8_t* payload, size_t length) {
  const size_t tcpLength = kTcpHeader + length;
  std::vector<uint8_t> frame = ipv4Frame(from, to, ipId, kProtocolTcp, tcpLength);
  const size_t tcp = frame.size();
  frame.resize(tcp + kTcpHeader, 0);
  writeU16be(&frame[tcp], from.port);
  writeU16be(&frame[tcp + 2], to.port);
  writeU32be(&frame[tcp + 4], seq);
  writeU32be(&frame[tcp + 8], (flags & kTcpAck) ? ack : 0);
  frame[tcp + 12] = (kTcpHeader / 4) << 4;
  frame[tcp + 13] = flags;
  writeU16be(&frame[tcp + 14], 65535);  // window
  if (length > 0) frame.insert(frame.end(), payload, payload + length);
  writeU16be(
      &frame[tcp + 16],
      internetChecksum(&frame[tcp], tcpLength, pseudoHeaderSum(from, to, kProtocolTcp, tcpLength)));
  return frame;
}

FrameContent parseFrame(LinkType link, const uint8_t* data, size_t length) {
  FrameContent content;
  size_t start = 0;
  if (!ipv4Start(link, data, length, &start) || start + kIpv4Header > length) return content;
  const uint8_t* ip = data + start;
  const size_t available = length - start;
  const size_t headerLength = static_cast<size_t>(ip[0] & 0x0F) * 4;
  const size_t totalLength = readU16be(ip + 2);
  if ((ip[0] >> 4) != 4 || headerLength < kIpv4Header || headerLength > available ||
      totalLength < headerLength) {
    return content;
  }
  const uint8_t protocol = ip[9];
  if (protocol != kProtocolTcp && protocol != kProtocolUdp) return content;
  content.tcp = protocol == kProtocolTcp;
  content.source.address = readU32be(ip + 12);
  content.destination.address = readU32be(ip + 16);

  const uint16_t fragment = readU16be(ip + 6);
  const bool moreFragments = (fragment & 0x2000) != 0;
  const bool laterFragment = (fragment & 0x1FFF) != 0;
  // Padding after the packet (short Ethernet frames) is not part of it.
  const size_t present = std::min(available, totalLength);
  const uint8_t* transport = ip + headerLength;
  const size_t transportPresent = present - headerLength;
  const size_t transportHeader = content.tcp ? kTcpHeader : kUdpHeader;
  if (!laterFragment && transportPresent >= 4) {
    content.source.port = readU16be(transport);
    content.destination.port = readU16be(transport + 2);
    content.portsKnown = true;
  }
  if (moreFragments || laterFragment) {
    content.kind = FrameContent::Kind::kFragment;
    return content;
  }
  if (available < totalLength || transportPresent < transportHeader) {
    content.kind = FrameContent::Kind::kCut;
    return content;
  }
  size_t payloadOffset = transportHeader;
  if (content.tcp) {
    payloadOffset = static_cast<size_t>(transport[12] >> 4) * 4;
    if (payloadOffset < kTcpHeader || payloadOffset > transportPresent) return content;
    content.seq = readU32be(transport + 4);
    content.tcpFlags = transport[13];
  }
  content.kind = FrameContent::Kind::kSegment;
  content.payload = transport + payloadOffset;
  content.payloadLength = transportPresent - payloadOffset;
  if (!content.tcp) {
    // The UDP length field bounds the datagram where the IPv4 one is larger.
    const size_t udpLength = readU16be(transport + 4);
    if (udpLength >= kUdpHeader && udpLength - kUdpHeader < content.payloadLength) {
      content.payloadLength = udpLength - kUdpHeader;
    }
  }
  return content;
}

}  // namespace sim
