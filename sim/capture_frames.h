// The frames of a packet capture: Ethernet, IPv4, UDP and TCP headers
// around a payload, built when the simulator records and taken apart when
// it replays. Byte work only; libpcap moves whole frames in and out of files
// (capture_reader.h, capture_writer.h).
#ifndef MOTIONSTAR_SIM_CAPTURE_FRAMES_H
#define MOTIONSTAR_SIM_CAPTURE_FRAMES_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// The link layers a capture may carry; the reader names libpcap's values.
enum class LinkType {
  kEthernet,         // tcpdump on a network interface
  kLinuxCooked,      // tcpdump -i any
  kLinuxCooked2,     // tcpdump -i any, newer form
  kRawIp,            // bare IP packets
  kLoopback,         // BSD loopback: a 4-byte address family in the writer's byte order
  kLoopbackNetwork,  // OpenBSD loopback: the family big-endian
};

// An IPv4 address and port, both in host order.
struct Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
  bool operator==(const Endpoint& other) const {
    return address == other.address && port == other.port;
  }
  bool operator!=(const Endpoint& other) const { return !(*this == other); }
  bool operator<(const Endpoint& other) const {
    return address != other.address ? address < other.address : port < other.port;
  }
};

// TCP header flags.
constexpr uint8_t kTcpFin = 0x01;
constexpr uint8_t kTcpSyn = 0x02;
constexpr uint8_t kTcpRst = 0x04;
constexpr uint8_t kTcpPsh = 0x08;
constexpr uint8_t kTcpAck = 0x10;

// The largest payload one recorded IPv4 packet carries.
constexpr size_t kMaxSegmentPayload = 65535 - 20 - 20;

// An Ethernet frame holding one IPv4 packet with a UDP datagram, lengths and
// both checksums filled in. The MAC addresses are made from the IPv4 ones.
std::vector<uint8_t> udpFrame(const Endpoint& from, const Endpoint& to, uint16_t ipId,
                              const uint8_t* payload, size_t length);
// The same with a TCP segment (20-byte header, no options).
std::vector<uint8_t> tcpFrame(const Endpoint& from, const Endpoint& to, uint16_t ipId, uint32_t seq,
                              uint32_t ack, uint8_t flags, const uint8_t* payload, size_t length);

// The Internet checksum (ones' complement sum) of `length` bytes, folded and
// complemented, starting from `sum`.
uint16_t internetChecksum(const uint8_t* data, size_t length, uint32_t sum = 0);

// What one frame carries, when it is an IPv4 packet with UDP or TCP in it.
struct FrameContent {
  enum class Kind {
    kSegment,   // a UDP datagram or TCP segment: the fields below hold it
    kOther,     // anything else (ARP, IPv6, ICMP...)
    kFragment,  // a fragment of a larger IPv4 packet; ports set only in the first
    kCut,       // captured shorter than its IPv4 length says; ports set when they arrived
  };
  Kind kind = Kind::kOther;
  bool tcp = false;
  Endpoint source;
  Endpoint destination;
  bool portsKnown = false;
  uint32_t seq = 0;
  uint8_t tcpFlags = 0;
  const uint8_t* payload = nullptr;  // points into the frame
  size_t payloadLength = 0;
};

// Takes one captured frame apart. Link-layer padding after the IPv4 packet
// is left out of the payload.
FrameContent parseFrame(LinkType link, const uint8_t* data, size_t length);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_CAPTURE_FRAMES_H
