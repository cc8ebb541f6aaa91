#include "capture/session_builder.h"

#include "sim/capture_frames.h"

namespace capturetest {
namespace {

const sim::Endpoint kClientTcp{0x0A000001, 40000};
const sim::Endpoint kClientUdp{0x0A000001, 9001};
const sim::Endpoint kDeviceTcp{0x0A000002, 6000};
const sim::Endpoint kDeviceUdp{0x0A000002, 5000};

}  // namespace

Bytes packet(uint8_t type, uint8_t unit, uint8_t error, const Bytes& data) {
  Bytes bytes(16, 0);
  bytes[8] = type;
  bytes[9] = unit;
  bytes[10] = 3;
  bytes[11] = error;
  bytes[14] = static_cast<uint8_t>(data.size() >> 8);
  bytes[15] = static_cast<uint8_t>(data.size());
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

Bytes dataPacket(uint16_t index) {
  Bytes data;
  for (uint8_t unit : {2, 3}) {
    data.push_back(unit);
    data.push_back(0);
    for (int word = 0; word < 6; ++word) {
      data.push_back(static_cast<uint8_t>(index >> 8));
      data.push_back(static_cast<uint8_t>(index));
    }
  }
  const Bytes aux = {0, 2, 0, 0, 0, 0, 0, 0};  // two words, no wand bytes
  data.insert(data.end(), aux.begin(), aux.end());
  Bytes bytes = packet(210, 0, 0, data);
  bytes[0] = static_cast<uint8_t>(index >> 8);
  bytes[1] = static_cast<uint8_t>(index);
  return bytes;
}

SessionBuilder::SessionBuilder(bool tcp, uint32_t clientIsn, uint32_t deviceIsn)
    : tcp_(tcp), clientNext_(clientIsn), deviceNext_(deviceIsn) {}

void SessionBuilder::handshake() {
  auto add = [&](bool fromDevice, uint8_t flags) {
    uint32_t& own = fromDevice ? deviceNext_ : clientNext_;
    const uint32_t other = fromDevice ? clientNext_ : deviceNext_;
    sim::CapturedFrame frame;
    frame.timeUs = timeUs_ += 1000;
    frame.bytes =
        fromDevice ? sim::tcpFrame(kDeviceTcp, kClientTcp, ipId_++, own, other, flags, nullptr, 0)
                   : sim::tcpFrame(kClientTcp, kDeviceTcp, ipId_++, own, other, flags, nullptr, 0);
    frame.wireLength = static_cast<uint32_t>(frame.bytes.size());
    capture_.frames.push_back(std::move(frame));
    if (flags & sim::kTcpSyn) ++own;
  };
  add(false, sim::kTcpSyn);
  add(true, sim::kTcpSyn | sim::kTcpAck);
  add(false, sim::kTcpAck);
}

void SessionBuilder::send(bool fromDevice, const Bytes& payload) {
  sim::CapturedFrame frame;
  frame.timeUs = timeUs_ += 1000;
  if (tcp_) {
    uint32_t& own = fromDevice ? deviceNext_ : clientNext_;
    const uint32_t other = fromDevice ? clientNext_ : deviceNext_;
    const sim::Endpoint& from = fromDevice ? kDeviceTcp : kClientTcp;
    const sim::Endpoint& to = fromDevice ? kClientTcp : kDeviceTcp;
    frame.bytes = sim::tcpFrame(from, to, ipId_++, own, other, sim::kTcpAck | sim::kTcpPsh,
                                payload.data(), payload.size());
    own += static_cast<uint32_t>(payload.size());
  } else {
    frame.bytes =
        fromDevice ? sim::udpFrame(kDeviceUdp, kClientUdp, ipId_++, payload.data(), payload.size())
                   : sim::udpFrame(kClientUdp, kDeviceUdp, ipId_++, payload.data(), payload.size());
  }
  frame.wireLength = static_cast<uint32_t>(frame.bytes.size());
  capture_.frames.push_back(std::move(frame));
}

void SessionBuilder::exchange(const Bytes& command, const Bytes& reply) {
  send(false, command);
  send(true, reply);
}

void SessionBuilder::typicalSession(int count) {
  if (tcp_) handshake();
  exchange(packet(10), packet(20));
  exchange(packet(104), packet(204));
  for (int i = 0; i < count; ++i) send(true, dataPacket(static_cast<uint16_t>(i)));
}

}  // namespace capturetest
