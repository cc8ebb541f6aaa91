#include "platform/socket.h"

// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace platform {
namespace {

// Starts made through socketLibraryStart that socketLibraryEnd has not yet
// matched: an end without a start of ours must not drop a reference that the
// host or another user of Winsock in the process holds.
std::atomic<int> ownStarts{0};

// Helpers such as the simulator and host-name look-ups use sockets without
// going through socketLibraryStart; they share one start that lasts for the
// process.
bool processWideStart() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(0x0101, &data) == 0;
  }();
  return started;
}

sockaddr_in toSockaddr(const Ipv4Address& address) {
  sockaddr_in out{};
  out.sin_family = static_cast<short>(address.family);
  out.sin_port = address.portNetwork;
  out.sin_addr.s_addr = address.addressNetwork;
  return out;
}

Ipv4Address fromSockaddr(const sockaddr_in& in) {
  Ipv4Address out{};
  out.family = static_cast<uint16_t>(in.sin_family);
  out.portNetwork = in.sin_port;
  out.addressNetwork = in.sin_addr.s_addr;
  return out;
}

int clampLength(size_t length) {
  return length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

}  // namespace

bool socketLibraryStart() {
  WSADATA data;
  if (WSAStartup(0x0101, &data) != 0) return false;
  ++ownStarts;
  return true;
}

bool socketLibraryEnd() {
  int starts = ownStarts.load();
  while (starts > 0 && !ownStarts.compare_exchange_weak(starts, starts - 1)) {
  }
  if (starts <= 0) return true;
  return WSACleanup() == 0;
}

int lastSocketError() {
  return WSAGetLastError();
}

// Winsock leaves errno alone: its last error stands in for the error number
// (errnoText gives its system text without the line end, for strerror's).
int lastErrno() {
  return WSAGetLastError();
}

bool isTransientErrno(int code) {
  return code == WSAEINTR || code == WSAEWOULDBLOCK;
}

SocketHandle openSocket(SocketType type) {
  processWideStart();
  return socket(AF_INET, type == kStream ? SOCK_STREAM : SOCK_DGRAM, 0);
}

int bindSocket(SocketHandle socket, const Ipv4Address& address) {
  sockaddr_in in = toSockaddr(address);
  return bind(socket, reinterpret_cast<const sockaddr*>(&in), sizeof in);
}

int connectSocket(SocketHandle socket, const Ipv4Address& address, int32_t waitMilliseconds) {
  sockaddr_in in = toSockaddr(address);
  // Non-blocking for the connect alone, so its wait has a limit.
  u_long on = 1;
  if (ioctlsocket(socket, FIONBIO, &on) != 0) {
    return connect(socket, reinterpret_cast<const sockaddr*>(&in), sizeof in);
  }
  int error = 0;
  if (connect(socket, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) {
    error = WSAGetLastError();
  }
  if (error == WSAEWOULDBLOCK) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval wait{waitMilliseconds / 1000, (waitMilliseconds % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    if (ready == 0) {
      error = WSAETIMEDOUT;
    } else if (ready < 0) {
      error = WSAGetLastError();
    } else if (FD_ISSET(socket, &failed)) {
      // The failed set carries the reason in SO_ERROR.
      int reason = 0;
      int length = sizeof reason;
      getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&reason), &length);
      error = reason != 0 ? reason : WSAECONNREFUSED;
    } else {
      error = 0;
    }
  }
  u_long off = 0;
  ioctlsocket(socket, FIONBIO, &off);
  if (error == 0) return 0;
  WSASetLastError(error);
  return -1;
}

int listenSocket(SocketHandle socket, int backlog) {
  return listen(socket, backlog);
}

SocketHandle acceptSocket(SocketHandle socket, Ipv4Address* peer) {
  sockaddr_in in{};
  int length = sizeof in;
  SOCKET accepted = accept(socket, reinterpret_cast<sockaddr*>(&in), &length);
  if (accepted != INVALID_SOCKET && peer != nullptr) *peer = fromSockaddr(in);
  return accepted == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(accepted);
}

long sendTo(SocketHandle socket, const void* data, size_t length, const Ipv4Address* dest) {
  const char* bytes = static_cast<const char*>(data);
  if (dest == nullptr) return send(socket, bytes, clampLength(length), 0);
  sockaddr_in in = toSockaddr(*dest);
  return sendto(socket, bytes, clampLength(length), 0, reinterpret_cast<const sockaddr*>(&in),
                sizeof in);
}

long recvFrom(SocketHandle socket, void* buffer, size_t capacity, Ipv4Address* source) {
  sockaddr_in in{};
  int length = sizeof in;
  const int wanted = clampLength(capacity);
  int got = recvfrom(socket, static_cast<char*>(buffer), wanted, 0,
                     reinterpret_cast<sockaddr*>(&in), &length);
  // A datagram larger than the buffer fills it and the rest is dropped; Winsock
  // calls that a failure, BSD sockets return the part that fit. Keep the
  // latter, so both builds read oversized datagrams alike.
  if (got == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) got = wanted;
  if (got >= 0 && source != nullptr) *source = fromSockaddr(in);
  return got;
}

int waitReadable(SocketHandle socket, int32_t seconds, int32_t microseconds) {
  // One socket only, so the set's size limit does not matter here.
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(socket), &readable);
  timeval wait{};
  if (seconds > 0 || (seconds == 0 && microseconds > 0)) {
    wait.tv_sec = seconds + microseconds / 1000000;
    wait.tv_usec = microseconds % 1000000;
  }
  return select(0, &readable, nullptr, nullptr, &wait);
}

int closeSocket(SocketHandle socket) {
  return closesocket(socket);
}

void abortSocket(SocketHandle socket) {
  linger hard{};
  hard.l_onoff = 1;
  hard.l_linger = 0;
  setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  closesocket(socket);
}

void shutdownSocket(SocketHandle socket) {
  shutdown(socket, SD_BOTH);
}

bool setReuseAddress(SocketHandle socket) {
  BOOL on = TRUE;
  return setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0;
}

bool setNoDelay(SocketHandle socket) {
  BOOL on = TRUE;
  return setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0;
}

bool localAddress(SocketHandle socket, Ipv4Address* address) {
  sockaddr_in in{};
  int length = sizeof in;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&in), &length) != 0) return false;
  *address = fromSockaddr(in);
  return true;
}

bool hostName(std::string* name) {
  processWideStart();
  char buffer[128] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
  *name = buffer;
  return true;
}

Resolution resolveIpv4(const char* name, uint32_t* addressNetwork) {
  processWideStart();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &result) != 0) return Resolution::kFailed;
  Resolution outcome = Resolution::kNoAddress;
  for (addrinfo* it = result; it != nullptr; it = it->ai_next) {
    if (it->ai_family == AF_INET && it->ai_addr != nullptr) {
      *addressNetwork = reinterpret_cast<const sockaddr_in*>(it->ai_addr)->sin_addr.s_addr;
      outcome = Resolution::kOk;
      break;
    }
  }
  freeaddrinfo(result);
  return outcome;
}

bool reverseLookup(uint32_t addressNetwork, std::string* name) {
  processWideStart();
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = addressNetwork;
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0,
                  NI_NAMEREQD) != 0) {
    return false;
  }
  *name = host;
  return true;
}

uint32_t inetAddr(const char* text) {
  return inet_addr(text);
}

}  // namespace platform
