// A bare client for talking to the simulator in tests: raw loopback
// sockets, hand-written packets, and receives that always end.
#ifndef MOTIONSTAR_TESTS_SIM_CLIENT_H
#define MOTIONSTAR_TESTS_SIM_CLIENT_H

#include <cstdint>
#include <vector>

#include "platform/socket.h"
#include "sim/simulator.h"

namespace simtest {

constexpr int kWaitMs = 3000;

// A 16-byte command header as the driver builds it.
std::vector<uint8_t> command(uint8_t code, uint8_t unit = 0);

class Client {
 public:
  // Connects (TCP) or binds an ephemeral port (UDP) on 127.0.0.1.
  Client(sim::Transport transport, uint16_t port, const char* address = "127.0.0.1");
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool ok() const { return socket_ != platform::kNoSocket; }
  bool send(const std::vector<uint8_t>& bytes);
  // One receive call after a bounded wait; empty when nothing came.
  std::vector<uint8_t> receiveOnce(int waitMs = kWaitMs);
  // One packet: a datagram on UDP; on TCP the header and the byte count it
  // gives, gathered across receives. Empty when it did not come whole.
  std::vector<uint8_t> receivePacket(int waitMs = kWaitMs);
  // TCP: exactly n bytes across receives (fewer when the wait ran out).
  std::vector<uint8_t> receiveExactly(size_t n, int waitMs = kWaitMs);
  // The result of one bounded receive: bytes, 0 for an orderly close, -1 failure.
  long receiveStatus(int waitMs = kWaitMs);
  uint16_t localPort() const;

 private:
  sim::Transport transport_;
  platform::SocketHandle socket_ = platform::kNoSocket;
  platform::Ipv4Address peer_{};
};

}  // namespace simtest

#endif  // MOTIONSTAR_TESTS_SIM_CLIENT_H
