// CSocketH: one IPv4 socket, UDP or TCP, with its local and destination
// addresses. It moves byte buffers and reports every step and failure
// through its own logger; it knows nothing of the device protocol.
#ifndef MOTIONSTAR_NET_SOCKET_H
#define MOTIONSTAR_NET_SOCKET_H

#include <cstdint>
#include <list>
#include <optional>
#include <string>

#include "common/logger.h"
#include "platform/socket.h"

class CSocketH {
 public:
  // The kinds openSocket takes. A type of their own: the device's protocol
  // setting numbers the same two transports the other way round.
  enum class Kind : int32_t { kUdp = 1, kTcp = 2 };
  static constexpr Kind kUdp = Kind::kUdp;
  static constexpr Kind kTcp = Kind::kTcp;

  // Copies the given logger (or makes one named "CSocketH") at owner level 3.
  explicit CSocketH(const CLogH* log);
  ~CSocketH();
  CSocketH(const CSocketH&) = delete;
  CSocketH& operator=(const CSocketH&) = delete;

  bool openSocket(Kind kind);
  bool bindLocal(uint16_t port);
  // False at once, with no message, when no socket is held.
  bool closeSocket();
  bool setDestAddr(const char* ipAddress, uint16_t port);
  bool setDestHost(const char* hostName, uint16_t port);
  // Dotted text of the first IPv4 address of a name (a dotted text resolves
  // to itself); nothing on failure, after a warning.
  std::optional<std::string> hostToAddr(const char* hostName);
  // Official host name of a dotted address; nothing on failure.
  std::optional<std::string> addrToHost(const char* ipAddress);
  bool connectDest();

  // Counts as the system calls return them: negative on failure (reported),
  // 0 when nothing was received. socket -1 means the wrapper's own socket.
  int32_t sendBytes(const void* data, int32_t length,
                    platform::SocketHandle socket = platform::kNoSocket);
  int32_t recvBytes(void* buffer, int32_t capacity,
                    platform::SocketHandle socket = platform::kNoSocket);

  // Bounds every later receive: with the wait on, a receive that finds
  // nothing readable within the time returns 0.
  void setReceiveWait(bool on, int32_t seconds, int32_t microseconds);

  // Peer sockets of a listening wrapper. Nothing here adds entries, so the
  // list stays empty; the look-ups refuse predictably.
  bool closePeer(platform::SocketHandle socket);
  std::optional<std::string> peerAddr(platform::SocketHandle socket);
  std::optional<std::string> peerHost(platform::SocketHandle socket);

  bool isStream() const { return socketType == platform::kStream; }
  bool hasSocket() const { return socket != platform::kNoSocket; }
  // Sender of the last UDP datagram received.
  const platform::Ipv4Address& sourceAddress() const { return source; }
  const platform::Ipv4Address& destinationAddress() const { return destination; }
  bool hasDestination() const { return destinationLength != 0; }
  // Port the socket is bound to (the kernel's choice after bindLocal(0)); 0 when unknown.
  uint16_t boundPort() const;
  const CLogH& log() const { return logger.record(); }

 private:
  struct Peer {
    platform::SocketHandle socket;
    platform::Ipv4Address address;
    int32_t addressLength;
  };

  std::list<Peer>::iterator findPeer(platform::SocketHandle socket);
  // Logs a send or receive failure: a warning for a transient error (when
  // those are reported), an error otherwise.
  void reportTransfer(const char* format, const char* name, int errorNumber) const;
  // Name of the far end for the send and receive messages.
  std::string transferName(platform::SocketHandle socket);

  int32_t addressFamily = platform::kAfInet;
  int32_t socketType = platform::kDatagram;
  uint16_t localPort = 0;
  bool reportTransientErrors = true;
  platform::SocketHandle socket = platform::kNoSocket;
  bool receiveWaitOn = false;
  int32_t receiveWaitSeconds = 0;
  int32_t receiveWaitMicroseconds = 0;
  std::list<Peer> peers;
  platform::Ipv4Address local = {};
  platform::Ipv4Address destination = {};
  int32_t destinationLength = 0;
  std::string localHostName;
  std::optional<std::string> destinationName;
  platform::Ipv4Address source = {};
  int32_t sourceLength = sizeof(platform::Ipv4Address);
  Logger logger;
};

#endif  // MOTIONSTAR_NET_SOCKET_H
