// The simulator's transport: a TCP listener that serves one connection at a
// time, and a UDP socket. Every command that comes in passes through one
// place (receive), and every piece that goes out through another (transmit).
#ifndef MOTIONSTAR_SIM_TRANSPORT_H
#define MOTIONSTAR_SIM_TRANSPORT_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "sim/simulator.h"

namespace sim {

// Where a packet came from or goes: over TCP the one connection, over UDP
// an address.
struct Peer {
  Transport transport = Transport::kTcp;
  platform::Ipv4Address address{};
};

// One piece of output: a reply, a data packet, or a connection reset.
struct Outgoing {
  Peer to;
  std::vector<uint8_t> bytes;
  size_t splitAt = 0;   // 0: in one piece
  int32_t pauseMs = 0;  // between the pieces
  bool dataPacket = false;
  bool reset = false;  // TCP: abort the connection instead of sending
};

const char* transportName(Transport transport);
std::string endpointText(const platform::Ipv4Address& address);

class Sockets {
 public:
  // What the sockets tell the rest of the simulator; called on the thread
  // that polls and sends.
  class Listener {
   public:
    virtual ~Listener() = default;
    // A command as it arrived (over TCP framed by its header's count).
    virtual void onCommand(const Peer& from, std::vector<uint8_t> bytes) = 0;
    // A line for the log.
    virtual void onEvent(const std::string& line) = 0;
    // The TCP connection has ended.
    virtual void onConnectionClosed() = 0;
  };

  explicit Sockets(Listener& listener) : listener_(listener) {}
  ~Sockets() { close(); }
  Sockets(const Sockets&) = delete;
  Sockets& operator=(const Sockets&) = delete;

  // Opens the enabled sockets on `addressNetwork` and the configured ports.
  // On failure *error says why and nothing stays open.
  bool open(const Config& config, uint32_t addressNetwork, std::string* error);
  // Closes every socket, without telling the listener.
  void close();
  // The ports actually bound; 0 when not open.
  uint16_t tcpPort() const { return tcpPort_; }
  uint16_t udpPort() const { return udpPort_; }

  // Accepts a connection and reads what waits, without blocking; returns
  // whether anything happened.
  bool poll();
  // Reads the waiting datagrams and throws them away, as a network that
  // loses them would; returns whether there were any.
  bool drainUdp();
  // A system without power: the listener closes, so connections are
  // refused, and the connection stays as it is, neither read nor written.
  void suspendTcp();
  // The system back: the connection it had is reset (its peer's next
  // segment meets a system that no longer knows it) and the listener opens
  // again on the same port. On failure *error says why and TCP stays off.
  bool resumeTcp(std::string* error);
  // Returns whether every byte left (a reset sends nothing).
  bool send(const Outgoing& out);
  // Aborts the TCP connection; the listener stays and accepts again.
  void resetConnection() { closeConnection("reset", true); }
  // From any thread: a send blocked on a full connection returns.
  void interrupt();

 private:
  bool listen(uint16_t port, std::string* error);
  bool pollTcp();
  bool pollUdp();
  void receive(const Peer& from, std::vector<uint8_t> bytes);
  bool transmit(const Peer& to, const uint8_t* data, size_t length);
  void closeConnection(const char* why, bool abort);

  Listener& listener_;
  platform::SocketHandle tcpListen_ = platform::kNoSocket;
  platform::SocketHandle udp_ = platform::kNoSocket;
  uint32_t addressNetwork_ = 0;
  uint16_t tcpPort_ = 0;
  uint16_t udpPort_ = 0;
  // Only the polling thread changes the connection, under the lock, so that
  // interrupt() never shuts a handle that is being closed.
  std::mutex connectionMutex_;
  platform::SocketHandle tcpConn_ = platform::kNoSocket;
  std::vector<uint8_t> tcpInbox_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_TRANSPORT_H
