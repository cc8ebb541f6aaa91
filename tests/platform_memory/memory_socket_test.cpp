// The in-memory loopback network keeps the kernel's rules that the fuzz
// targets count on. (The socket wrapper's own tests run over it too, in the
// same program: CMakeLists.txt.)
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "platform/memory/memory_socket.h"
#include "platform/socket.h"

namespace {

using platform::Ipv4Address;
using platform::SocketHandle;
using Bytes = std::vector<uint8_t>;

Ipv4Address loopback(const char* address, uint16_t port) {
  return platform::makeIpv4Address(platform::inetAddr(address), port);
}

// An open socket, bound to the address (port 0: one of its own), closed at the end.
class Socket {
 public:
  explicit Socket(platform::SocketType type, const char* address = nullptr, uint16_t port = 0)
      : handle_(platform::openSocket(type)) {
    if (address != nullptr) bound_ = platform::bindSocket(handle_, loopback(address, port)) == 0;
  }
  ~Socket() {
    if (handle_ != platform::kNoSocket) platform::closeSocket(handle_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  SocketHandle handle() const { return handle_; }
  bool bound() const { return bound_; }
  uint16_t port() const {
    Ipv4Address local{};
    return platform::localAddress(handle_, &local) ? platform::portOf(local) : 0;
  }
  // Hands the handle over (to a close the test makes itself).
  SocketHandle release() {
    SocketHandle handle = handle_;
    handle_ = platform::kNoSocket;
    return handle;
  }

 private:
  SocketHandle handle_;
  bool bound_ = false;
};

long send(const Socket& from, const Bytes& bytes, const Ipv4Address* to = nullptr) {
  return platform::sendTo(from.handle(), bytes.data(), bytes.size(), to);
}

Bytes receive(SocketHandle from, size_t capacity, Ipv4Address* source = nullptr) {
  Bytes bytes(capacity);
  const long got = platform::recvFrom(from, bytes.data(), bytes.size(), source);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

TEST(MemorySockets, DatagramsKeepTheirBoundariesAndSenders) {
  Socket receiver(platform::kDatagram, "0.0.0.0");
  Socket stranger(platform::kDatagram, "127.0.0.2");
  Socket unbound(platform::kDatagram);
  const Ipv4Address to = loopback("127.0.0.1", receiver.port());
  EXPECT_EQ(send(stranger, {1, 2, 3, 4, 5}, &to), 5);
  EXPECT_EQ(send(unbound, {}, &to), 0);
  EXPECT_EQ(send(unbound, {9}, &to), 1);

  Ipv4Address source{};
  EXPECT_EQ(receive(receiver.handle(), 2, &source), (Bytes{1, 2}));  // the rest is lost
  EXPECT_EQ(source.addressNetwork, platform::inetAddr("127.0.0.2"));
  EXPECT_EQ(platform::portOf(source), stranger.port());
  EXPECT_EQ(receive(receiver.handle(), 8, &source), Bytes{});  // an empty datagram
  // A socket bound to no address sends from 127.0.0.1, from a port of its own.
  EXPECT_EQ(source.addressNetwork, platform::inetAddr("127.0.0.1"));
  EXPECT_NE(platform::portOf(source), 0);
  EXPECT_EQ(receive(receiver.handle(), 8), Bytes{9});
  EXPECT_EQ(platform::waitReadable(receiver.handle(), 0, 0), 0);
}

TEST(MemorySockets, DatagramsNobodyTakesAreLost) {
  Socket receiver(platform::kDatagram, "127.0.0.1");
  Socket sender(platform::kDatagram);
  const Ipv4Address elsewhere = loopback("127.0.0.3", receiver.port());
  const Ipv4Address offNetwork = loopback("10.1.2.3", receiver.port());
  EXPECT_EQ(send(sender, {1}, &elsewhere), 1);  // bound to 127.0.0.1 only
  EXPECT_EQ(send(sender, {2}, &offNetwork), 1);
  EXPECT_EQ(platform::waitReadable(receiver.handle(), 0, 0), 0);

  // Beyond what a kernel buffer holds, datagrams are dropped, not queued.
  const Ipv4Address to = loopback("127.0.0.1", receiver.port());
  const Bytes big(60000, 7);
  int queued = 0;
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(send(sender, big, &to), 60000);
  }
  while (platform::waitReadable(receiver.handle(), 0, 0) == 1) {
    ASSERT_EQ(receive(receiver.handle(), 65536).size(), 60000u);
    ++queued;
  }
  EXPECT_GT(queued, 0);
  EXPECT_LT(queued, 8);

  errno = 0;
  EXPECT_EQ(send(sender, Bytes(65508), &to), -1);
  EXPECT_EQ(platform::lastErrno(), EMSGSIZE);
  EXPECT_EQ(send(sender, {1}), -1);  // no destination
  EXPECT_EQ(platform::lastErrno(), EDESTADDRREQ);
}

// A connected datagram socket takes a port of its own and sends to its peer
// without naming it. TCP_NODELAY is a stream option, as the kernel has it.
TEST(MemorySockets, ConnectedDatagramsAndTheNoDelayOption) {
  Socket receiver(platform::kDatagram, "127.0.0.1");
  Socket sender(platform::kDatagram);
  ASSERT_EQ(sender.port(), 0);
  ASSERT_EQ(platform::connectSocket(sender.handle(), loopback("127.0.0.1", receiver.port())), 0);
  EXPECT_NE(sender.port(), 0);
  EXPECT_EQ(send(sender, {7, 8}), 2);
  Ipv4Address source{};
  EXPECT_EQ(receive(receiver.handle(), 8, &source), (Bytes{7, 8}));
  EXPECT_EQ(platform::portOf(source), sender.port());

  Socket stream(platform::kStream);
  EXPECT_TRUE(platform::setNoDelay(stream.handle()));
  errno = 0;
  EXPECT_FALSE(platform::setNoDelay(sender.handle()));
  EXPECT_EQ(platform::lastErrno(), ENOPROTOOPT);
  const SocketHandle closed = Socket(platform::kStream).handle();
  EXPECT_FALSE(platform::setNoDelay(closed));
  EXPECT_EQ(platform::lastErrno(), EBADF);
}

TEST(MemorySockets, StreamsDeliverInOrderAndEndAsTheKernelSays) {
  Socket listener(platform::kStream, "127.0.0.1");
  ASSERT_EQ(platform::listenSocket(listener.handle(), 4), 0);
  Socket client(platform::kStream);
  ASSERT_EQ(platform::connectSocket(client.handle(), loopback("127.0.0.1", listener.port())), 0);
  // Bytes sent before the accept wait for it.
  EXPECT_EQ(send(client, {1, 2, 3}), 3);
  EXPECT_EQ(send(client, {4, 5}), 2);
  Ipv4Address peer{};
  const SocketHandle accepted = platform::acceptSocket(listener.handle(), &peer);
  ASSERT_NE(accepted, platform::kNoSocket);
  EXPECT_EQ(platform::portOf(peer), client.port());
  EXPECT_EQ(receive(accepted, 2), (Bytes{1, 2}));  // a stream reads in any pieces
  EXPECT_EQ(receive(accepted, 8), (Bytes{3, 4, 5}));

  // An orderly close: the rest, then 0 bytes at every read; writing back fails.
  EXPECT_EQ(send(client, {6}), 1);
  platform::closeSocket(client.release());
  EXPECT_EQ(platform::waitReadable(accepted, 0, 0), 1);
  EXPECT_EQ(receive(accepted, 8), Bytes{6});
  EXPECT_EQ(platform::recvFrom(accepted, nullptr, 0, nullptr), 0);
  EXPECT_EQ(platform::recvFrom(accepted, nullptr, 0, nullptr), 0);
  uint8_t byte = 0;
  EXPECT_EQ(platform::sendTo(accepted, &byte, 1, nullptr), -1);
  EXPECT_EQ(platform::lastErrno(), EPIPE);
  platform::closeSocket(accepted);
}

TEST(MemorySockets, AResetIsReportedOnceAndRefusalsCarryTheirErrors) {
  Socket listener(platform::kStream, "0.0.0.0");
  ASSERT_EQ(platform::listenSocket(listener.handle(), 4), 0);
  Socket client(platform::kStream);
  ASSERT_EQ(platform::connectSocket(client.handle(), loopback("127.0.0.9", listener.port())), 0);
  const SocketHandle accepted = platform::acceptSocket(listener.handle(), nullptr);
  ASSERT_NE(accepted, platform::kNoSocket);
  platform::abortSocket(accepted);
  uint8_t byte = 0;
  EXPECT_EQ(platform::recvFrom(client.handle(), &byte, 1, nullptr), -1);
  EXPECT_EQ(platform::lastErrno(), ECONNRESET);
  EXPECT_EQ(platform::recvFrom(client.handle(), &byte, 1, nullptr), 0);

  Socket second(platform::kStream);
  EXPECT_EQ(platform::connectSocket(second.handle(), loopback("127.0.0.1", client.port())), -1);
  EXPECT_EQ(platform::lastErrno(), ECONNREFUSED);  // a port, but no listener
  EXPECT_EQ(platform::connectSocket(second.handle(), loopback("192.0.2.1", listener.port())), -1);
  EXPECT_EQ(platform::lastErrno(), ENETUNREACH);
  // A stream that never connected: nothing to wait for, the receive fails.
  EXPECT_EQ(platform::waitReadable(second.handle(), 5, 0), 1);
  EXPECT_EQ(platform::recvFrom(second.handle(), &byte, 1, nullptr), -1);
  EXPECT_EQ(platform::lastErrno(), ENOTCONN);

  // A connection nobody accepted is reset with its listener.
  Socket third(platform::kStream);
  ASSERT_EQ(platform::connectSocket(third.handle(), loopback("127.0.0.1", listener.port())), 0);
  platform::closeSocket(listener.release());
  EXPECT_EQ(platform::recvFrom(third.handle(), &byte, 1, nullptr), -1);
  EXPECT_EQ(platform::lastErrno(), ECONNRESET);
}

TEST(MemorySockets, PortsAndHandlesAreTakenUntilClosed) {
  Socket first(platform::kDatagram, "127.0.0.1");
  ASSERT_TRUE(first.bound());
  Socket any(platform::kDatagram, "0.0.0.0", first.port());
  EXPECT_FALSE(any.bound());
  EXPECT_EQ(platform::lastSocketError(), EADDRINUSE);
  Socket otherAddress(platform::kDatagram, "127.0.0.2", first.port());
  EXPECT_TRUE(otherAddress.bound());
  Socket stream(platform::kStream, "127.0.0.1", first.port());
  EXPECT_TRUE(stream.bound());  // TCP ports are another set
  Socket offNetwork(platform::kDatagram, "10.1.2.3");
  EXPECT_FALSE(offNetwork.bound());
  EXPECT_EQ(platform::lastSocketError(), EADDRNOTAVAIL);

  // Two sockets that both ask to reuse a UDP port may share it.
  Socket shareA(platform::kDatagram);
  Socket shareB(platform::kDatagram);
  ASSERT_TRUE(platform::setReuseAddress(shareA.handle()));
  ASSERT_TRUE(platform::setReuseAddress(shareB.handle()));
  ASSERT_EQ(platform::bindSocket(shareA.handle(), loopback("0.0.0.0", 0)), 0);
  EXPECT_EQ(platform::bindSocket(shareB.handle(), loopback("0.0.0.0", shareA.port())), 0);

  const size_t open = platform::memory::openSocketCount();
  const uint16_t port = first.port();
  const SocketHandle closed = first.release();
  ASSERT_EQ(platform::closeSocket(closed), 0);
  EXPECT_EQ(platform::memory::openSocketCount(), open - 1);
  Socket again(platform::kDatagram, "127.0.0.1", port);
  EXPECT_TRUE(again.bound());
  // A closed handle stays closed, whatever is opened after it.
  EXPECT_NE(again.handle(), closed);
  EXPECT_EQ(platform::closeSocket(closed), -1);
  EXPECT_EQ(platform::lastErrno(), EBADF);
  EXPECT_EQ(platform::waitReadable(closed, 0, 0), -1);
}

TEST(MemorySockets, BlockedCallsWakeForOtherThreads) {
  Socket receiver(platform::kDatagram, "127.0.0.1");
  Socket sender(platform::kDatagram);
  const Ipv4Address to = loopback("127.0.0.1", receiver.port());
  std::thread later([&] { send(sender, {42}, &to); });
  EXPECT_EQ(receive(receiver.handle(), 4), Bytes{42});  // blocks until the send
  later.join();
  EXPECT_EQ(platform::waitReadable(receiver.handle(), 0, 1000), 0);  // the wait ends

  // A shut-down listener lets a blocked accept return empty-handed.
  Socket listener(platform::kStream, "127.0.0.1");
  ASSERT_EQ(platform::listenSocket(listener.handle(), 1), 0);
  std::thread stopper([&] { platform::shutdownSocket(listener.handle()); });
  EXPECT_EQ(platform::acceptSocket(listener.handle(), nullptr), platform::kNoSocket);
  stopper.join();
}

TEST(MemorySockets, NamesOfTheLoopbackHost) {
  uint32_t address = 0;
  EXPECT_EQ(platform::resolveIpv4("localhost", &address), platform::Resolution::kOk);
  EXPECT_EQ(address, platform::inetAddr("127.0.0.1"));
  EXPECT_EQ(platform::resolveIpv4("127.0.0.5", &address), platform::Resolution::kOk);
  EXPECT_EQ(platform::inetNtoa(address), "127.0.0.5");
  EXPECT_EQ(platform::resolveIpv4("tracker.example", &address), platform::Resolution::kFailed);
  std::string name;
  EXPECT_TRUE(platform::reverseLookup(platform::inetAddr("127.0.0.1"), &name));
  EXPECT_EQ(name, "localhost");
  EXPECT_FALSE(platform::reverseLookup(platform::inetAddr("127.0.0.2"), &name));
}

}  // namespace
