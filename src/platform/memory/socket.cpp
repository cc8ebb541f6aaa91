// platform/socket.h over a loopback network held in memory: UDP datagrams
// and TCP byte streams between the sockets of one process, without the
// kernel. Fuzz targets link it so that an input reaches the socket wrapper
// and everything above it in microseconds; the code above cannot tell.
//
// It keeps the kernel's rules that the code above relies on: datagram
// boundaries, a datagram cut to the receiver's buffer, a stream read in any
// pieces, 0 bytes at the end of a connection, ports in use, refused
// connections, the same error numbers. Receives, waits and accepts block
// like the kernel's, so threads can talk through it; a wait of zero only
// looks. The only addresses are 127.0.0.0/8: a datagram to any other is
// lost, a connection to one unreachable.
#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/memory/memory_socket.h"
#include "platform/socket.h"

namespace platform {
namespace {

// Handles start far above the descriptors a test names on purpose, and are
// never reused, so a closed handle stays closed.
constexpr SocketHandle kFirstHandle = 1 << 20;
constexpr uint16_t kFirstEphemeralPort = 32768;
constexpr uint16_t kLastEphemeralPort = 60999;
constexpr size_t kMaxDatagramBytes = 65507;
// Datagrams beyond this many queued bytes are lost, as in a full kernel buffer.
constexpr size_t kReceiveBufferBytes = 212992;
constexpr uint32_t kLoopbackNetwork = 0x7F000001;  // 127.0.0.1, host order

struct Datagram {
  Ipv4Address source;
  std::vector<uint8_t> bytes;
};

struct MemorySocket {
  SocketType type;
  bool bound = false;
  Ipv4Address local = {};
  bool reuseAddress = false;
  bool listening = false;
  bool accepted = false;             // the listener's end of a connection, on the listener's port
  std::deque<SocketHandle> pending;  // connections a listener has not accepted
  // Stream: the other end (kNoSocket once it is gone); datagram: the
  // default destination of a connected socket.
  SocketHandle peer = kNoSocket;
  bool connected = false;
  Ipv4Address remote = {};
  std::deque<Datagram> datagrams;
  size_t queuedBytes = 0;
  std::deque<uint8_t> stream;
  bool noMoreInput = false;  // the far end closed or shut down, or this end did
  bool resetByPeer = false;  // the far end aborted: the next receive fails
  bool shutDown = false;
};

struct Network {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<SocketHandle, MemorySocket> sockets;
  SocketHandle nextHandle = kFirstHandle;
  uint16_t nextPort = kFirstEphemeralPort;
};

// Never destroyed: a thread may still use it while the program exits.
Network& network() {
  static Network* instance = new Network;
  return *instance;
}

uint32_t hostOrder(uint32_t addressNetwork) {
  return ntohl(addressNetwork);
}

bool isLoopback(uint32_t addressNetwork) {
  return (hostOrder(addressNetwork) >> 24) == 127;
}

bool isAny(uint32_t addressNetwork) {
  return addressNetwork == 0;
}

// Fails the call the way the system would: errno set, the result returned.
template <class T>
T failWith(int code, T result) {
  errno = code;
  return result;
}

MemorySocket* find(Network& net, SocketHandle handle) {
  auto it = net.sockets.find(handle);
  return it == net.sockets.end() ? nullptr : &it->second;
}

// Bound sockets of a type that share port and address (or where either
// side took every address) collide, unless both asked to reuse and neither
// listens.
bool collides(const Network& net, SocketType type, const Ipv4Address& address, bool reuse) {
  for (const auto& [handle, other] : net.sockets) {
    if (!other.bound || other.type != type || other.local.portNetwork != address.portNetwork) {
      continue;
    }
    if (other.accepted) continue;
    const bool overlap = isAny(other.local.addressNetwork) || isAny(address.addressNetwork) ||
                         other.local.addressNetwork == address.addressNetwork;
    if (overlap && !(reuse && other.reuseAddress && !other.listening)) return true;
  }
  return false;
}

// A free port of the type, taken in turn from the ephemeral range; 0 when
// every one is in use.
uint16_t ephemeralPort(Network& net, SocketType type, uint32_t addressNetwork) {
  for (int tries = kLastEphemeralPort - kFirstEphemeralPort + 1; tries > 0; --tries) {
    const uint16_t port = net.nextPort;
    net.nextPort = port == kLastEphemeralPort ? kFirstEphemeralPort : port + 1;
    if (!collides(net, type, makeIpv4Address(addressNetwork, port), false)) return port;
  }
  return 0;
}

// Binds an unbound socket to a port of its own, as the system does on a
// first send or connect.
bool bindImplicitly(Network& net, MemorySocket& socket) {
  if (socket.bound) return true;
  const uint16_t port = ephemeralPort(net, socket.type, 0);
  if (port == 0) return false;
  socket.local = makeIpv4Address(0, port);
  socket.bound = true;
  return true;
}

// The address a packet from this socket carries.
Ipv4Address sourceOf(const MemorySocket& socket) {
  Ipv4Address source = socket.local;
  if (isAny(source.addressNetwork)) source.addressNetwork = htonl(kLoopbackNetwork);
  return source;
}

// The socket bound to the destination; for a stream, only a listener.
MemorySocket* receiverFor(Network& net, SocketType type, const Ipv4Address& to) {
  for (auto& [handle, socket] : net.sockets) {
    if (!socket.bound || socket.type != type || socket.local.portNetwork != to.portNetwork) {
      continue;
    }
    if (type == kStream && !socket.listening) continue;
    if (isAny(socket.local.addressNetwork) || socket.local.addressNetwork == to.addressNetwork) {
      return &socket;
    }
  }
  return nullptr;
}

bool readable(const MemorySocket& socket) {
  if (socket.listening) return !socket.pending.empty() || socket.shutDown;
  // A stream that never connected reads as hung up: its receive fails at once.
  if (socket.type == kStream && !socket.connected) return true;
  return !socket.datagrams.empty() || !socket.stream.empty() || socket.noMoreInput ||
         socket.resetByPeer;
}

// Waits under the lock until the socket is readable or gone, for at most
// the time given (none: without limit). False when the time ran out.
bool awaitReadable(std::unique_lock<std::mutex>& lock, Network& net, SocketHandle handle,
                   const std::chrono::microseconds* limit) {
  const auto ready = [&] {
    const MemorySocket* socket = find(net, handle);
    return socket == nullptr || readable(*socket);
  };
  if (limit == nullptr) {
    net.changed.wait(lock, ready);
    return true;
  }
  // A wait of zero only looks (a timed wait would still sleep until its timer fires).
  if (limit->count() == 0) return ready();
  return net.changed.wait_for(lock, *limit, ready);
}

// The far end of a stream learns that this end went away.
void detachPeer(Network& net, MemorySocket& socket, bool reset) {
  MemorySocket* peer = find(net, socket.peer);
  if (peer == nullptr) return;
  peer->noMoreInput = true;
  peer->resetByPeer = peer->resetByPeer || reset;
  peer->peer = kNoSocket;
}

int closeHandle(SocketHandle handle, bool reset) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, -1);
  detachPeer(net, *socket, reset);
  // Connections nobody accepted are refused with the listener.
  for (SocketHandle waiting : socket->pending) {
    if (MemorySocket* end = find(net, waiting)) detachPeer(net, *end, true);
    net.sockets.erase(waiting);
  }
  net.sockets.erase(handle);
  net.changed.notify_all();
  return 0;
}

}  // namespace

namespace memory {

size_t openSocketCount() {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  return net.sockets.size();
}

}  // namespace memory

SocketHandle openSocket(SocketType type) {
  if (type != kStream && type != kDatagram) return failWith(EINVAL, kNoSocket);
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  const SocketHandle handle = net.nextHandle++;
  net.sockets[handle].type = type;
  return handle;
}

int bindSocket(SocketHandle handle, const Ipv4Address& address) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, -1);
  if (socket->bound) return failWith(EINVAL, -1);
  if (address.family != kAfInet) return failWith(EAFNOSUPPORT, -1);
  if (!isAny(address.addressNetwork) && !isLoopback(address.addressNetwork)) {
    return failWith(EADDRNOTAVAIL, -1);
  }
  Ipv4Address local = address;
  if (local.portNetwork == 0) {
    const uint16_t port = ephemeralPort(net, socket->type, address.addressNetwork);
    if (port == 0) return failWith(EADDRINUSE, -1);
    local.portNetwork = htons(port);
  } else if (collides(net, socket->type, local, socket->reuseAddress)) {
    return failWith(EADDRINUSE, -1);
  }
  std::memset(local.zero, 0, sizeof local.zero);
  socket->local = local;
  socket->bound = true;
  return 0;
}

// A connect here is done or refused at once: nothing to wait for.
int connectSocket(SocketHandle handle, const Ipv4Address& address, int32_t /*waitMilliseconds*/) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, -1);
  if (address.family != kAfInet) return failWith(EAFNOSUPPORT, -1);
  if (socket->type == kDatagram) {
    if (!bindImplicitly(net, *socket)) return failWith(EAGAIN, -1);
    socket->remote = address;
    socket->connected = true;
    return 0;
  }
  if (socket->connected || socket->listening) return failWith(EISCONN, -1);
  if (!isLoopback(address.addressNetwork) && !isAny(address.addressNetwork)) {
    return failWith(ENETUNREACH, -1);
  }
  MemorySocket* listener = receiverFor(net, kStream, address);
  if (listener == nullptr || listener->shutDown) return failWith(ECONNREFUSED, -1);
  if (!bindImplicitly(net, *socket)) return failWith(EAGAIN, -1);

  // The accepted end exists at once, as after the kernel's handshake; it
  // waits in the listener's queue.
  const SocketHandle accepted = net.nextHandle++;
  MemorySocket& end = net.sockets[accepted];  // std::map: the pointers above stay valid
  end.type = kStream;
  end.accepted = true;
  end.bound = true;
  end.local = listener->local;
  if (isAny(end.local.addressNetwork)) end.local.addressNetwork = address.addressNetwork;
  end.peer = handle;
  end.connected = true;
  end.remote = sourceOf(*socket);
  listener->pending.push_back(accepted);
  socket->peer = accepted;
  socket->connected = true;
  socket->remote = end.local;
  net.changed.notify_all();
  return 0;
}

int listenSocket(SocketHandle handle, int) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, -1);
  if (socket->type != kStream) return failWith(EOPNOTSUPP, -1);
  if (socket->connected) return failWith(EINVAL, -1);
  if (!bindImplicitly(net, *socket)) return failWith(EADDRINUSE, -1);
  socket->listening = true;
  return 0;
}

SocketHandle acceptSocket(SocketHandle handle, Ipv4Address* peer) {
  Network& net = network();
  std::unique_lock<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, kNoSocket);
  if (!socket->listening) return failWith(EINVAL, kNoSocket);
  awaitReadable(lock, net, handle, nullptr);
  socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, kNoSocket);
  if (socket->pending.empty()) return failWith(EINVAL, kNoSocket);  // shut down
  const SocketHandle accepted = socket->pending.front();
  socket->pending.pop_front();
  if (peer != nullptr) *peer = net.sockets[accepted].remote;
  return accepted;
}

long sendTo(SocketHandle handle, const void* data, size_t length, const Ipv4Address* dest) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, -1L);
  const auto* bytes = static_cast<const uint8_t*>(data);

  if (socket->type == kStream) {
    if (!socket->connected || socket->shutDown) return failWith(EPIPE, -1L);
    MemorySocket* peer = find(net, socket->peer);
    if (peer == nullptr) return failWith(socket->resetByPeer ? ECONNRESET : EPIPE, -1L);
    peer->stream.insert(peer->stream.end(), bytes, bytes + length);
    net.changed.notify_all();
    return static_cast<long>(length);
  }

  if (dest == nullptr && !socket->connected) return failWith(EDESTADDRREQ, -1L);
  const Ipv4Address to = dest != nullptr ? *dest : socket->remote;
  if (length > kMaxDatagramBytes) return failWith(EMSGSIZE, -1L);
  if (!bindImplicitly(net, *socket)) return failWith(EAGAIN, -1L);
  MemorySocket* receiver = isLoopback(to.addressNetwork) || isAny(to.addressNetwork)
                               ? receiverFor(net, kDatagram, to)
                               : nullptr;
  if (receiver != nullptr && !receiver->shutDown &&
      receiver->queuedBytes + length <= kReceiveBufferBytes) {
    receiver->datagrams.push_back({sourceOf(*socket), std::vector<uint8_t>(bytes, bytes + length)});
    receiver->queuedBytes += length;
    net.changed.notify_all();
  }
  return static_cast<long>(length);  // sent, whether or not anyone takes it
}

long recvFrom(SocketHandle handle, void* buffer, size_t capacity, Ipv4Address* source) {
  Network& net = network();
  std::unique_lock<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, -1L);
  if (socket->type == kStream && !socket->connected) return failWith(ENOTCONN, -1L);
  awaitReadable(lock, net, handle, nullptr);
  socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, -1L);
  auto* into = static_cast<uint8_t*>(buffer);

  if (socket->type == kDatagram) {
    if (socket->datagrams.empty()) return 0;  // shut down
    Datagram datagram = std::move(socket->datagrams.front());
    socket->datagrams.pop_front();
    socket->queuedBytes -= datagram.bytes.size();
    // What does not fit is lost with the datagram.
    const size_t got = std::min(capacity, datagram.bytes.size());
    std::copy_n(datagram.bytes.begin(), got, into);
    if (source != nullptr) *source = datagram.source;
    return static_cast<long>(got);
  }

  if (socket->resetByPeer && socket->stream.empty()) {
    socket->resetByPeer = false;  // reported once; then the end of the stream
    return failWith(ECONNRESET, -1L);
  }
  const size_t got = std::min(capacity, socket->stream.size());
  std::copy_n(socket->stream.begin(), got, into);
  socket->stream.erase(socket->stream.begin(), socket->stream.begin() + static_cast<long>(got));
  if (source != nullptr) *source = socket->remote;
  return static_cast<long>(got);
}

int waitReadable(SocketHandle handle, int32_t seconds, int32_t microseconds) {
  Network& net = network();
  std::unique_lock<std::mutex> lock(net.mutex);
  if (find(net, handle) == nullptr) return failWith(EBADF, -1);
  const long long total = static_cast<long long>(seconds) * 1000000 + microseconds;
  const std::chrono::microseconds limit(total > 0 ? total : 0);
  if (!awaitReadable(lock, net, handle, &limit)) return 0;
  return find(net, handle) != nullptr ? 1 : failWith(EBADF, -1);
}

int closeSocket(SocketHandle handle) {
  return closeHandle(handle, false);
}

void abortSocket(SocketHandle handle) {
  closeHandle(handle, true);
}

void shutdownSocket(SocketHandle handle) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return;
  socket->shutDown = true;
  socket->noMoreInput = true;
  if (MemorySocket* peer = find(net, socket->peer)) peer->noMoreInput = true;
  net.changed.notify_all();
}

bool setReuseAddress(SocketHandle handle) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, false);
  socket->reuseAddress = true;
  return true;
}

bool setNoDelay(SocketHandle handle) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, false);
  return socket->type == kStream ? true : failWith(ENOPROTOOPT, false);
}

bool localAddress(SocketHandle handle, Ipv4Address* address) {
  Network& net = network();
  std::lock_guard<std::mutex> lock(net.mutex);
  const MemorySocket* socket = find(net, handle);
  if (socket == nullptr) return failWith(EBADF, false);
  *address = socket->bound ? socket->local : makeIpv4Address(0, 0);
  return true;
}

// The host of this network is called localhost, and knows no other name.
bool hostName(std::string* name) {
  *name = "localhost";
  return true;
}

Resolution resolveIpv4(const char* name, uint32_t* addressNetwork) {
  in_addr parsed{};
  if (inet_aton(name, &parsed) != 0) {
    *addressNetwork = parsed.s_addr;
    return Resolution::kOk;
  }
  if (std::strcmp(name, "localhost") != 0) return Resolution::kFailed;
  *addressNetwork = htonl(kLoopbackNetwork);
  return Resolution::kOk;
}

bool reverseLookup(uint32_t addressNetwork, std::string* name) {
  if (hostOrder(addressNetwork) != kLoopbackNetwork) return false;
  *name = "localhost";
  return true;
}

uint32_t inetAddr(const char* text) {
  return inet_addr(text);
}

}  // namespace platform
