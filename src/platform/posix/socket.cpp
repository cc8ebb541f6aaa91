#include "platform/socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "platform/process.h"

namespace platform {
namespace {

sockaddr_in toSockaddr(const Ipv4Address& address) {
  sockaddr_in out{};
  out.sin_family = static_cast<sa_family_t>(address.family);
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

// A signal caught on this thread must not end the wait early: the caller
// would take it for the time running out (a reply "timed out" before its
// time). The poll resumes with what is left of the wait.
int pollFor(pollfd* entry, int64_t waitMilliseconds) {
  const int64_t deadline = monotonicMilliseconds() + waitMilliseconds;
  int ready;
  do {
    const int64_t left = deadline - monotonicMilliseconds();
    ready = poll(entry, 1, left <= 0 ? 0 : left > INT32_MAX ? INT32_MAX : static_cast<int>(left));
  } while (ready < 0 && errno == EINTR);
  return ready;
}

}  // namespace

SocketHandle openSocket(SocketType type) {
  return socket(AF_INET, type == kStream ? SOCK_STREAM : SOCK_DGRAM, 0);
}

int bindSocket(SocketHandle socket, const Ipv4Address& address) {
  sockaddr_in in = toSockaddr(address);
  return bind(socket, reinterpret_cast<const sockaddr*>(&in), sizeof in);
}

int connectSocket(SocketHandle socket, const Ipv4Address& address, int32_t waitMilliseconds) {
  sockaddr_in in = toSockaddr(address);
  // Non-blocking for the connect alone, so its wait has a limit.
  const int flags = fcntl(socket, F_GETFL, 0);
  if (flags < 0 || fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) {
    return connect(socket, reinterpret_cast<const sockaddr*>(&in), sizeof in);
  }
  int error = 0;
  if (connect(socket, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) error = errno;
  if (error == EINPROGRESS) {
    pollfd entry{socket, POLLOUT, 0};
    const int ready = pollFor(&entry, waitMilliseconds);
    socklen_t length = sizeof error;
    if (ready == 0) {
      error = ETIMEDOUT;
    } else if (ready < 0) {
      error = errno;
    } else if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
      error = errno;
    }
  }
  fcntl(socket, F_SETFL, flags);
  if (error == 0) return 0;
  errno = error;
  return -1;
}

int listenSocket(SocketHandle socket, int backlog) {
  return listen(socket, backlog);
}

SocketHandle acceptSocket(SocketHandle socket, Ipv4Address* peer) {
  sockaddr_in in{};
  socklen_t length = sizeof in;
  int accepted = accept(socket, reinterpret_cast<sockaddr*>(&in), &length);
  if (accepted >= 0 && peer != nullptr) *peer = fromSockaddr(in);
  return accepted < 0 ? kNoSocket : accepted;
}

long sendTo(SocketHandle socket, const void* data, size_t length, const Ipv4Address* dest) {
  if (dest == nullptr) return send(socket, data, length, MSG_NOSIGNAL);
  sockaddr_in in = toSockaddr(*dest);
  return sendto(socket, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&in),
                sizeof in);
}

long recvFrom(SocketHandle socket, void* buffer, size_t capacity, Ipv4Address* source) {
  sockaddr_in in{};
  socklen_t length = sizeof in;
  long got = recvfrom(socket, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&in), &length);
  if (got >= 0 && source != nullptr) *source = fromSockaddr(in);
  return got;
}

int waitReadable(SocketHandle socket, int32_t seconds, int32_t microseconds) {
  // poll, unlike select, has no limit on the descriptor's number.
  pollfd entry{socket, POLLIN, 0};
  return pollFor(&entry, static_cast<int64_t>(seconds) * 1000 + (microseconds + 999) / 1000);
}

int closeSocket(SocketHandle socket) {
  return close(socket);
}

void abortSocket(SocketHandle socket) {
  linger hard{1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(socket);
}

void shutdownSocket(SocketHandle socket) {
  shutdown(socket, SHUT_RDWR);
}

bool setReuseAddress(SocketHandle socket) {
  int on = 1;
  return setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool setNoDelay(SocketHandle socket) {
  int on = 1;
  return setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool localAddress(SocketHandle socket, Ipv4Address* address) {
  sockaddr_in in{};
  socklen_t length = sizeof in;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&in), &length) != 0) return false;
  *address = fromSockaddr(in);
  return true;
}

bool hostName(std::string* name) {
  char buffer[128] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
  *name = buffer;
  return true;
}

Resolution resolveIpv4(const char* name, uint32_t* addressNetwork) {
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
