#include "client.h"

#include "common/byte_order.h"

namespace simtest {

std::vector<uint8_t> command(uint8_t code, uint8_t unit) {
  return {0, 0, 0, 0, 0, 0, 0, 0, code, unit, 3, 0, 0, 0, 0, 0};
}

Client::Client(sim::Transport transport, uint16_t port, const char* address)
    : transport_(transport) {
  peer_ = platform::makeIpv4Address(platform::inetAddr(address), port);
  socket_ = platform::openSocket(transport == sim::Transport::kTcp ? platform::kStream
                                                                   : platform::kDatagram);
  if (socket_ == platform::kNoSocket) return;
  const bool ready =
      transport == sim::Transport::kTcp
          ? platform::connectSocket(socket_, peer_) == 0
          : platform::bindSocket(
                socket_, platform::makeIpv4Address(platform::inetAddr("127.0.0.1"), 0)) == 0;
  if (!ready) {
    platform::closeSocket(socket_);
    socket_ = platform::kNoSocket;
  }
}

Client::~Client() {
  if (socket_ != platform::kNoSocket) platform::closeSocket(socket_);
}

bool Client::send(const std::vector<uint8_t>& bytes) {
  const platform::Ipv4Address* dest = transport_ == sim::Transport::kUdp ? &peer_ : nullptr;
  return platform::sendTo(socket_, bytes.data(), bytes.size(), dest) ==
         static_cast<long>(bytes.size());
}

long Client::receiveStatus(int waitMs) {
  if (platform::waitReadable(socket_, waitMs / 1000, (waitMs % 1000) * 1000) <= 0) return -2;
  uint8_t buffer[4096];
  return platform::recvFrom(socket_, buffer, sizeof buffer, nullptr);
}

std::vector<uint8_t> Client::receiveOnce(int waitMs) {
  if (platform::waitReadable(socket_, waitMs / 1000, (waitMs % 1000) * 1000) <= 0) return {};
  uint8_t buffer[4096];
  long got = platform::recvFrom(socket_, buffer, sizeof buffer, nullptr);
  if (got <= 0) return {};
  return std::vector<uint8_t>(buffer, buffer + got);
}

std::vector<uint8_t> Client::receiveExactly(size_t n, int waitMs) {
  std::vector<uint8_t> bytes;
  while (bytes.size() < n) {
    if (platform::waitReadable(socket_, waitMs / 1000, (waitMs % 1000) * 1000) <= 0) break;
    uint8_t buffer[4096];
    long got = platform::recvFrom(socket_, buffer, n - bytes.size(), nullptr);
    if (got <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return bytes;
}

std::vector<uint8_t> Client::receivePacket(int waitMs) {
  if (transport_ == sim::Transport::kUdp) return receiveOnce(waitMs);
  std::vector<uint8_t> packet = receiveExactly(16, waitMs);
  if (packet.size() < 16) return {};
  const size_t count = readU16be(&packet[14]);
  std::vector<uint8_t> data = receiveExactly(count, waitMs);
  if (data.size() < count) return {};
  packet.insert(packet.end(), data.begin(), data.end());
  return packet;
}

uint16_t Client::localPort() const {
  platform::Ipv4Address local{};
  platform::localAddress(socket_, &local);
  return platform::portOf(local);
}

}  // namespace simtest
