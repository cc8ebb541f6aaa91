// IPv4 sockets behind one interface: BSD sockets on POSIX, Winsock on
// Windows. The socket wrapper and the simulator reach the network only here.
#ifndef MOTIONSTAR_PLATFORM_SOCKET_H
#define MOTIONSTAR_PLATFORM_SOCKET_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

#if defined(_WIN32)
using SocketHandle = uintptr_t;
#else
using SocketHandle = int;
#endif
constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

constexpr int kAfInet = 2;
enum SocketType { kStream = 1, kDatagram = 2 };

// An IPv4 socket address laid out as sockaddr_in (16 bytes); port and
// address in network byte order.
struct Ipv4Address {
  uint16_t family;
  uint16_t portNetwork;
  uint32_t addressNetwork;
  uint8_t zero[8];
};
static_assert(sizeof(Ipv4Address) == 16, "sockaddr_in layout");

Ipv4Address makeIpv4Address(uint32_t addressNetwork, uint16_t portHost);
uint16_t portOf(const Ipv4Address& address);  // host order

// Socket-library use (WSAStartup 1.1 / WSACleanup); nothing to do on POSIX.
bool socketLibraryStart();
bool socketLibraryEnd();

// The last socket error and the system's message text for it (with its
// own line end), for creation and bind failures.
int lastSocketError();
std::string socketErrorText(int code);
// The runtime library's error number and strerror text (no line end), for
// the send, receive and connect messages.
int lastErrno();
std::string errnoText(int code);
// Interrupted call or try again: the failures reported as warnings.
bool isTransientErrno(int code);

SocketHandle openSocket(SocketType type);
int bindSocket(SocketHandle socket, const Ipv4Address& address);
// How long a TCP connect may take before it gives up: a host that nothing
// answers would otherwise hold the caller for the system's SYN time-out
// (minutes), deaf to a stop.
constexpr int32_t kConnectWaitMilliseconds = 5000;
// 0 once connected; otherwise -1 with the error where lastErrno finds it
// (a connect that ran out of time: the system's "timed out" error).
int connectSocket(SocketHandle socket, const Ipv4Address& address,
                  int32_t waitMilliseconds = kConnectWaitMilliseconds);
int listenSocket(SocketHandle socket, int backlog);
// Blocks until a connection arrives or the wait ends; kNoSocket then.
SocketHandle acceptSocket(SocketHandle socket, Ipv4Address* peer);
// dest null: send on a connected socket.
long sendTo(SocketHandle socket, const void* data, size_t length, const Ipv4Address* dest);
// source may be null.
long recvFrom(SocketHandle socket, void* buffer, size_t capacity, Ipv4Address* source);
// 1 readable, 0 the wait ended, negative on failure.
int waitReadable(SocketHandle socket, int32_t seconds, int32_t microseconds);
int closeSocket(SocketHandle socket);
// Closes a TCP socket with a reset instead of an orderly shutdown.
void abortSocket(SocketHandle socket);
// Stops both directions of a connected socket; a thread blocked in a receive returns.
void shutdownSocket(SocketHandle socket);
bool setReuseAddress(SocketHandle socket);
// TCP: send small writes at once instead of holding them for an earlier write's
// acknowledgement (TCP_NODELAY).
bool setNoDelay(SocketHandle socket);
bool localAddress(SocketHandle socket, Ipv4Address* address);

// gethostname; false on failure.
bool hostName(std::string* name);
enum class Resolution { kOk, kFailed, kNoAddress };
// Name or dotted text to the first IPv4 address (getaddrinfo, IPv4 only).
Resolution resolveIpv4(const char* name, uint32_t* addressNetwork);
// Official host name of an address; false when it has none.
bool reverseLookup(uint32_t addressNetwork, std::string* name);
// inet_addr: all ones for a malformed text (and for 255.255.255.255).
uint32_t inetAddr(const char* text);
std::string inetNtoa(uint32_t addressNetwork);

}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_SOCKET_H
