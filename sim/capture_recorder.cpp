#include "sim/capture_recorder.h"

#include <algorithm>
#include <chrono>

#include "common/byte_order.h"

namespace sim {
namespace {

Endpoint endpointOf(const platform::Ipv4Address& address) {
  return Endpoint{readU32be(reinterpret_cast<const uint8_t*>(&address.addressNetwork)),
                  platform::portOf(address)};
}

int64_t nowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool CaptureRecorder::open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  tcp_.clear();
  return writer_.open(path, error);
}

void CaptureRecorder::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  writer_.close();
}

void CaptureRecorder::connected(const Flow& flow) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Key key{endpointOf(flow.device), endpointOf(flow.client)};
  // Initial sequence numbers that differ from one connection to the next.
  const uint32_t clientIsn = 0x10000000u + key.second.port * 1009u;
  const uint32_t deviceIsn = 0x60000000u + key.second.port * 2003u;
  tcp_[key] = TcpState{clientIsn, deviceIsn};
  writeTcp(key, false, kTcpSyn, nullptr, 0);
  writeTcp(key, true, kTcpSyn | kTcpAck, nullptr, 0);
  writeTcp(key, false, kTcpAck, nullptr, 0);
}

void CaptureRecorder::carried(const Flow& flow, bool fromDevice, const uint8_t* data,
                              size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Endpoint device = endpointOf(flow.device);
  const Endpoint client = endpointOf(flow.client);
  if (flow.transport == Transport::kUdp) {
    writeFrame(fromDevice ? udpFrame(device, client, ipId_++, data, length)
                          : udpFrame(client, device, ipId_++, data, length));
    return;
  }
  for (size_t done = 0; done < length;) {
    const size_t piece = std::min(length - done, kMaxSegmentPayload);
    writeTcp({device, client}, fromDevice, kTcpPsh | kTcpAck, data + done, piece);
    done += piece;
  }
}

void CaptureRecorder::disconnected(const Flow& flow, Ending how) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Key key{endpointOf(flow.device), endpointOf(flow.client)};
  if (how == Ending::kReset) {
    writeTcp(key, true, kTcpRst | kTcpAck, nullptr, 0);
  } else {
    const bool deviceFirst = how == Ending::kByDevice;
    writeTcp(key, deviceFirst, kTcpFin | kTcpAck, nullptr, 0);
    writeTcp(key, !deviceFirst, kTcpFin | kTcpAck, nullptr, 0);
    writeTcp(key, deviceFirst, kTcpAck, nullptr, 0);
  }
  tcp_.erase(key);
}

CaptureRecorder::TcpState& CaptureRecorder::tcpState(const Key& key) {
  auto found = tcp_.find(key);
  if (found == tcp_.end()) found = tcp_.emplace(key, TcpState{0x10000000u, 0x60000000u}).first;
  return found->second;
}

void CaptureRecorder::writeTcp(const Key& key, bool fromDevice, uint8_t flags, const uint8_t* data,
                               size_t length) {
  TcpState& state = tcpState(key);
  uint32_t& own = fromDevice ? state.deviceNext : state.clientNext;
  const uint32_t other = fromDevice ? state.clientNext : state.deviceNext;
  const Endpoint& from = fromDevice ? key.first : key.second;
  const Endpoint& to = fromDevice ? key.second : key.first;
  writeFrame(tcpFrame(from, to, ipId_++, own, other, flags, data, length));
  // SYN and FIN take a sequence number of their own.
  own += static_cast<uint32_t>(length) + ((flags & (kTcpSyn | kTcpFin)) ? 1 : 0);
}

void CaptureRecorder::writeFrame(const std::vector<uint8_t>& frame) {
  writer_.write(nowMicroseconds(), frame.data(), frame.size());
}

}  // namespace sim
