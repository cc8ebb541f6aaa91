#include "loopback_peer.h"

#include <chrono>

namespace {

constexpr int32_t kWaitSeconds = 3;

uint32_t loopbackNetwork() {
  return platform::inetAddr("127.0.0.1");
}

}  // namespace

LoopbackPeer::LoopbackPeer(Transport transport) : transport_(transport) {
  socket_ =
      platform::openSocket(transport == Transport::kTcp ? platform::kStream : platform::kDatagram);
  platform::bindSocket(socket_, platform::makeIpv4Address(loopbackNetwork(), 0));
  if (transport == Transport::kTcp) platform::listenSocket(socket_, 4);
  platform::Ipv4Address bound{};
  if (platform::localAddress(socket_, &bound)) port_ = platform::portOf(bound);
}

LoopbackPeer::~LoopbackPeer() {
  release();
  finish();
  if (connection_ != platform::kNoSocket) platform::closeSocket(connection_);
  platform::closeSocket(socket_);
}

void LoopbackPeer::start(std::function<void(LoopbackPeer&)> script) {
  thread_ = std::thread([this, script] { script(*this); });
}

void LoopbackPeer::finish() {
  if (thread_.joinable()) thread_.join();
}

void LoopbackPeer::release() {
  if (releaseSent_) return;
  releaseSent_ = true;
  released_.set_value();
}

bool LoopbackPeer::awaitRelease() {
  return releasedFuture_.wait_for(std::chrono::seconds(kWaitSeconds)) == std::future_status::ready;
}

bool LoopbackPeer::accepted() {
  if (transport_ == Transport::kUdp || connection_ != platform::kNoSocket) return true;
  if (platform::waitReadable(socket_, kWaitSeconds, 0) <= 0) return false;
  connection_ = platform::acceptSocket(socket_, nullptr);
  return connection_ != platform::kNoSocket;
}

Bytes LoopbackPeer::receive() {
  Bytes bytes;
  if (accepted()) {
    platform::SocketHandle from = transport_ == Transport::kTcp ? connection_ : socket_;
    if (platform::waitReadable(from, kWaitSeconds, 0) > 0) {
      bytes.resize(4096);
      long got = platform::recvFrom(from, bytes.data(), bytes.size(), &lastSource_);
      bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
  }
  received_.push_back(bytes);
  return bytes;
}

bool LoopbackPeer::send(const Bytes& bytes) {
  if (transport_ == Transport::kUdp) {
    return platform::sendTo(socket_, bytes.data(), bytes.size(), &lastSource_) ==
           static_cast<long>(bytes.size());
  }
  return accepted() && platform::sendTo(connection_, bytes.data(), bytes.size(), nullptr) ==
                           static_cast<long>(bytes.size());
}

bool LoopbackPeer::sendTo(const Bytes& bytes, uint16_t port) {
  platform::Ipv4Address to = platform::makeIpv4Address(loopbackNetwork(), port);
  return platform::sendTo(socket_, bytes.data(), bytes.size(), &to) ==
         static_cast<long>(bytes.size());
}

void LoopbackPeer::closeConnection() {
  if (accepted() && connection_ != platform::kNoSocket) {
    platform::closeSocket(connection_);
    connection_ = platform::kNoSocket;
  }
}

Bytes header(uint8_t type, uint8_t errorCode, uint16_t dataBytes, uint8_t unit) {
  Bytes bytes(16, 0);
  bytes[8] = type;
  bytes[9] = unit;
  bytes[10] = 3;
  bytes[11] = errorCode;
  bytes[14] = static_cast<uint8_t>(dataBytes >> 8);
  bytes[15] = static_cast<uint8_t>(dataBytes);
  return bytes;
}

void answerTurns(LoopbackPeer& peer, const std::vector<std::vector<Bytes>>& turns) {
  for (const auto& turn : turns) {
    if (peer.receive().empty()) return;
    for (const Bytes& packet : turn) peer.send(packet);
  }
}
