#include "sim/transport.h"

#include "common/byte_order.h"
#include "platform/process.h"
#include "sim/packets.h"

namespace sim {
namespace {

using platform::Ipv4Address;
using platform::kNoSocket;
using platform::SocketHandle;

constexpr int kMaxReadsPerPoll = 64;

std::string lastErrorText() {
  return platform::errnoText(platform::lastErrno());
}

}  // namespace

const char* transportName(Transport transport) {
  return transport == Transport::kTcp ? "TCP" : "UDP";
}

std::string endpointText(const Ipv4Address& address) {
  return platform::inetNtoa(address.addressNetwork) + ":" +
         std::to_string(platform::portOf(address));
}

bool Sockets::open(const Config& config, uint32_t addressNetwork, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = why;
    close();
    return false;
  };
  platform::socketLibraryStart();
  addressNetwork_ = addressNetwork;
  std::string why;
  if (config.enableTcp && !listen(config.tcpPort, &why)) return fail(why);
  if (config.enableUdp) {
    udp_ = platform::openSocket(platform::kDatagram);
    if (udp_ == kNoSocket) return fail("cannot open a UDP socket: " + lastErrorText());
    const Ipv4Address bindTo = platform::makeIpv4Address(addressNetwork, config.udpPort);
    if (platform::bindSocket(udp_, bindTo) != 0) {
      return fail("cannot bind UDP " + endpointText(bindTo) + ": " + lastErrorText());
    }
    Ipv4Address bound{};
    platform::localAddress(udp_, &bound);
    udpPort_ = platform::portOf(bound);
  }
  return true;
}

bool Sockets::listen(uint16_t port, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = why;
    if (tcpListen_ != kNoSocket) platform::closeSocket(tcpListen_);
    tcpListen_ = kNoSocket;
    return false;
  };
  tcpListen_ = platform::openSocket(platform::kStream);
  if (tcpListen_ == kNoSocket) return fail("cannot open a TCP socket: " + lastErrorText());
  platform::setReuseAddress(tcpListen_);
  const Ipv4Address bindTo = platform::makeIpv4Address(addressNetwork_, port);
  if (platform::bindSocket(tcpListen_, bindTo) != 0) {
    return fail("cannot bind TCP " + endpointText(bindTo) + ": " + lastErrorText());
  }
  if (platform::listenSocket(tcpListen_, 4) != 0) {
    return fail("cannot listen on TCP " + endpointText(bindTo) + ": " + lastErrorText());
  }
  Ipv4Address bound{};
  platform::localAddress(tcpListen_, &bound);
  tcpPort_ = platform::portOf(bound);
  return true;
}

void Sockets::suspendTcp() {
  if (tcpListen_ != kNoSocket) platform::closeSocket(tcpListen_);
  tcpListen_ = kNoSocket;
}

bool Sockets::resumeTcp(std::string* error) {
  closeConnection("reset: the system restarted", true);
  if (tcpListen_ != kNoSocket || tcpPort_ == 0) return true;
  if (listen(tcpPort_, error)) return true;
  tcpPort_ = 0;
  return false;
}

bool Sockets::drainUdp() {
  bool any = false;
  for (int reads = 0; reads < kMaxReadsPerPoll && udp_ != kNoSocket; ++reads) {
    if (platform::waitReadable(udp_, 0, 0) <= 0) break;
    uint8_t buffer[2048];
    if (platform::recvFrom(udp_, buffer, sizeof buffer, nullptr) < 0) break;
    any = true;
  }
  return any;
}

void Sockets::close() {
  SocketHandle connection;
  {
    std::lock_guard<std::mutex> lock(connectionMutex_);
    connection = tcpConn_;
    tcpConn_ = kNoSocket;
  }
  for (SocketHandle socket : {connection, tcpListen_, udp_}) {
    if (socket != kNoSocket) platform::closeSocket(socket);
  }
  tcpListen_ = udp_ = kNoSocket;
  tcpPort_ = udpPort_ = 0;
  tcpInbox_.clear();
}

bool Sockets::poll() {
  const bool tcp = pollTcp();
  return pollUdp() || tcp;
}

bool Sockets::pollTcp() {
  bool active = false;
  if (tcpListen_ != kNoSocket && tcpConn_ == kNoSocket &&
      platform::waitReadable(tcpListen_, 0, 0) > 0) {
    Ipv4Address peer{};
    SocketHandle accepted = platform::acceptSocket(tcpListen_, &peer);
    if (accepted != kNoSocket) {
      active = true;
      // Every reply and data packet leaves when it is written, as the
      // device's own packets do, not batched behind an unacknowledged one.
      platform::setNoDelay(accepted);
      {
        std::lock_guard<std::mutex> lock(connectionMutex_);
        tcpConn_ = accepted;
      }
      tcpInbox_.clear();
      listener_.onEvent("TCP connection from " + endpointText(peer));
    }
  }
  for (int reads = 0; reads < kMaxReadsPerPoll && tcpConn_ != kNoSocket; ++reads) {
    if (platform::waitReadable(tcpConn_, 0, 0) <= 0) break;
    active = true;
    uint8_t buffer[4096];
    long got = platform::recvFrom(tcpConn_, buffer, sizeof buffer, nullptr);
    if (got <= 0) {
      closeConnection(got == 0 ? "closed by the peer" : "failed", false);
      break;
    }
    tcpInbox_.insert(tcpInbox_.end(), buffer, buffer + got);
    // A command is its header and the byte count it announces, however
    // the stream cut it into segments.
    while (tcpInbox_.size() >= kHeaderSize) {
      const size_t length = kHeaderSize + readU16be(&tcpInbox_[kCountOffset]);
      if (tcpInbox_.size() < length) break;
      std::vector<uint8_t> packet(tcpInbox_.begin(),
                                  tcpInbox_.begin() + static_cast<std::ptrdiff_t>(length));
      tcpInbox_.erase(tcpInbox_.begin(), tcpInbox_.begin() + static_cast<std::ptrdiff_t>(length));
      receive(Peer{Transport::kTcp, {}}, std::move(packet));
      // Answering may have ended the connection (a failed send).
      if (tcpConn_ == kNoSocket) break;
    }
  }
  return active;
}

bool Sockets::pollUdp() {
  bool active = false;
  for (int reads = 0; reads < kMaxReadsPerPoll && udp_ != kNoSocket; ++reads) {
    if (platform::waitReadable(udp_, 0, 0) <= 0) break;
    active = true;
    uint8_t buffer[2048];
    Peer from{Transport::kUdp, {}};
    long got = platform::recvFrom(udp_, buffer, sizeof buffer, &from.address);
    if (got < 0) break;
    receive(from, std::vector<uint8_t>(buffer, buffer + got));
  }
  return active;
}

void Sockets::receive(const Peer& from, std::vector<uint8_t> bytes) {
  listener_.onCommand(from, std::move(bytes));
}

bool Sockets::send(const Outgoing& out) {
  if (out.reset) {
    closeConnection("reset", true);
    return false;
  }
  const size_t first = out.splitAt != 0 ? out.splitAt : out.bytes.size();
  bool ok = transmit(out.to, out.bytes.data(), first);
  if (ok && first < out.bytes.size()) {
    platform::sleepMilliseconds(out.pauseMs);
    ok = transmit(out.to, out.bytes.data() + first, out.bytes.size() - first);
  }
  return ok;
}

bool Sockets::transmit(const Peer& to, const uint8_t* data, size_t length) {
  if (to.transport == Transport::kUdp) {
    return platform::sendTo(udp_, data, length, &to.address) == static_cast<long>(length);
  }
  while (length > 0) {
    if (tcpConn_ == kNoSocket) return false;
    long done = platform::sendTo(tcpConn_, data, length, nullptr);
    if (done <= 0) {
      if (done < 0 && platform::isTransientErrno(platform::lastErrno())) continue;
      listener_.onEvent("TCP send failed: " + lastErrorText());
      closeConnection("closed after a failed send", false);
      return false;
    }
    data += done;
    length -= static_cast<size_t>(done);
  }
  return true;
}

void Sockets::closeConnection(const char* why, bool abort) {
  SocketHandle connection;
  {
    std::lock_guard<std::mutex> lock(connectionMutex_);
    connection = tcpConn_;
    tcpConn_ = kNoSocket;
  }
  if (connection == kNoSocket) return;
  if (abort) {
    platform::abortSocket(connection);
  } else {
    platform::closeSocket(connection);
  }
  tcpInbox_.clear();
  listener_.onEvent(std::string("TCP connection ") + why);
  listener_.onConnectionClosed();
}

void Sockets::interrupt() {
  std::lock_guard<std::mutex> lock(connectionMutex_);
  if (tcpConn_ != kNoSocket) platform::shutdownSocket(tcpConn_);
}

}  // namespace sim
