// A control port through which a script or a survey tool moves the
// simulated sensors: text commands in UDP datagrams to 127.0.0.1, one reply
// datagram for each.
//
//   place UNIT X Y Z AZIMUTH ELEVATION ROLL
//       holds the sensor at unit address UNIT at that true pose (feet and
//       degrees, as the driver publishes poses without transforms);
//       reply "ok placed UNIT from packet N", N being the first data packet
//       that carries it
//   release UNIT
//       the sensor goes back to its path; reply "ok released UNIT"
//
// Anything else, or a command that cannot be carried out, gets "error "
// and the reason.
#ifndef MOTIONSTAR_SIM_CONTROL_PORT_H
#define MOTIONSTAR_SIM_CONTROL_PORT_H

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "sim/simulator.h"

namespace sim {

// The reply to one command.
std::string controlReply(Simulator& simulator, const std::string& command);

class ControlPort {
 public:
  explicit ControlPort(Simulator& simulator) : simulator_(simulator) {}
  ~ControlPort() { stop(); }
  ControlPort(const ControlPort&) = delete;
  ControlPort& operator=(const ControlPort&) = delete;

  // Binds 127.0.0.1:port (0: the kernel picks) and starts answering. On
  // failure *error says why.
  bool start(uint16_t port, std::string* error);
  void stop();
  // The port bound; 0 when not started.
  uint16_t port() const { return port_; }

 private:
  void serve();

  Simulator& simulator_;
  platform::SocketHandle socket_ = platform::kNoSocket;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_CONTROL_PORT_H
