// Sees every packet the simulator's sockets carry, both ways, and the TCP
// connections coming and going: the recorder writes them into a capture.
#ifndef MOTIONSTAR_SIM_PACKET_TAP_H
#define MOTIONSTAR_SIM_PACKET_TAP_H

#include <cstddef>
#include <cstdint>

#include "platform/socket.h"
#include "sim/simulator.h"

namespace sim {

// The two ends of a UDP exchange or a TCP connection.
struct Flow {
  Transport transport = Transport::kTcp;
  platform::Ipv4Address device{};
  platform::Ipv4Address client{};
};

class PacketTap {
 public:
  enum class Ending { kByDevice, kByClient, kReset };
  virtual ~PacketTap() = default;
  // TCP: a connection was accepted.
  virtual void connected(const Flow& flow) = 0;
  // Bytes that crossed: a datagram, or what one TCP send or receive carried.
  virtual void carried(const Flow& flow, bool fromDevice, const uint8_t* data, size_t length) = 0;
  // TCP: the connection has ended.
  virtual void disconnected(const Flow& flow, Ending how) = 0;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_PACKET_TAP_H
