// A scripted stand-in for the far end of a socket test: a loopback socket
// (TCP listener or UDP) on a kernel-chosen port, and a thread that runs the
// test's script against it. Every wait is bounded so a broken script ends
// the test instead of hanging it.
#ifndef MOTIONSTAR_TESTS_NET_LOOPBACK_PEER_H
#define MOTIONSTAR_TESTS_NET_LOOPBACK_PEER_H

#include <cstdint>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "platform/socket.h"

using Bytes = std::vector<uint8_t>;

class LoopbackPeer {
 public:
  enum class Transport { kTcp, kUdp };

  explicit LoopbackPeer(Transport transport);
  ~LoopbackPeer();  // finishes the script and closes everything
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  uint16_t port() const { return port_; }
  Transport transport() const { return transport_; }

  void start(std::function<void(LoopbackPeer&)> script);
  // Waits for the script to end; what it received is then in received().
  void finish();
  const std::vector<Bytes>& received() const { return received_; }
  // Lets a script that waits in awaitRelease() go on.
  void release();

  // ---- for scripts
  // One receive (TCP: accepts the driver's connection first); empty when
  // the wait ends or the connection closed. Kept in received().
  Bytes receive();
  // TCP: to the accepted connection; UDP: to the sender of the last datagram.
  bool send(const Bytes& bytes);
  // UDP: to 127.0.0.1:port.
  bool sendTo(const Bytes& bytes, uint16_t port);
  // TCP: ends the connection (the driver reads 0 bytes).
  void closeConnection();
  // True once the test called release(); false when that did not happen in time.
  bool awaitRelease();

 private:
  bool accepted();

  Transport transport_;
  platform::SocketHandle socket_ = platform::kNoSocket;
  platform::SocketHandle connection_ = platform::kNoSocket;
  platform::Ipv4Address lastSource_ = {};
  uint16_t port_ = 0;
  std::thread thread_;
  std::vector<Bytes> received_;
  std::promise<void> released_;
  std::future<void> releasedFuture_ = released_.get_future();
  bool releaseSent_ = false;
};

// A packet header with type, unit, error code and data byte count set.
Bytes header(uint8_t type, uint8_t errorCode = 0, uint16_t dataBytes = 0, uint8_t unit = 0);

// The usual script: for each turn receive one packet, then send the turn's packets.
void answerTurns(LoopbackPeer& peer, const std::vector<std::vector<Bytes>>& turns);

#endif  // MOTIONSTAR_TESTS_NET_LOOPBACK_PEER_H
