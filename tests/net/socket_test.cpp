#include "net/socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "loopback_peer.h"
#include "platform/socket.h"
#include "support/capture.h"
#include "support/plain_log.h"

namespace {

using Lines = std::vector<std::string>;
using Transport = LoopbackPeer::Transport;

// The error numbers of these failures: errno on POSIX, Winsock's last error
// (WSAENOTSOCK, WSAECONNREFUSED, WSAEADDRINUSE) on Windows.
#if defined(_WIN32)
constexpr int kBadSocket = 10038;
constexpr int kRefused = 10061;
constexpr int kInUse = 10048;
constexpr int kTimedOut = 10060;
#else
constexpr int kBadSocket = EBADF;
constexpr int kRefused = ECONNREFUSED;
constexpr int kInUse = EADDRINUSE;
constexpr int kTimedOut = ETIMEDOUT;
#endif

std::string errnoLine(int code) {
  return platform::errnoText(code);
}

TEST(Socket, LoggerCopyAndLifecycleTraces) {
  CLogH given = plainLog("HOST", 3);
  CoutCapture out;
  {
    CSocketH socket(&given);
    EXPECT_EQ(socket.log().ownerLevel, 3);
    EXPECT_STREQ(socket.log().name, "HOST");
    EXPECT_EQ(given.ownerLevel, 0);  // the copy is the wrapper's own
    EXPECT_TRUE(socket.openSocket(CSocketH::kUdp));
    EXPECT_TRUE(socket.closeSocket());
    EXPECT_FALSE(socket.closeSocket());  // nothing held: no message
  }
  EXPECT_EQ(out.lines(), (Lines{"HOST: DEBUG: CSocketH: \"constructor\" called.",
                                "HOST: DEBUG: CSocketH: \"openSocket\" called.",
                                "HOST: DEBUG: CSocketH: Created a socket.",
                                "HOST: DEBUG: CSocketH: Closed the socket.",
                                "HOST: DEBUG: CSocketH: \"destructor\" called."}));

  CSocketH fresh(nullptr);
  EXPECT_STREQ(fresh.log().name, "CSocketH");
  EXPECT_EQ(fresh.log().ownerLevel, 3);
}

TEST(Socket, OpenRefusesUnknownKinds) {
  CLogH log = plainLog("S");
  CSocketH socket(&log);
  ASSERT_TRUE(socket.openSocket(CSocketH::kTcp));
  uint16_t port = socket.boundPort();
  CoutCapture out;
  EXPECT_FALSE(socket.openSocket(static_cast<CSocketH::Kind>(0)));
  EXPECT_FALSE(socket.openSocket(static_cast<CSocketH::Kind>(3)));
  EXPECT_TRUE(socket.isStream());
  EXPECT_TRUE(socket.hasSocket());
  EXPECT_EQ(socket.boundPort(), port);
  EXPECT_EQ(out.text(), "");
}

TEST(Socket, ReopeningClosesTheHeldSocket) {
  CLogH log = plainLog("S");
  CSocketH first(&log);
  ASSERT_TRUE(first.openSocket(CSocketH::kUdp));
  ASSERT_TRUE(first.bindLocal(0));
  uint16_t port = first.boundPort();
  ASSERT_TRUE(first.openSocket(CSocketH::kUdp));
  EXPECT_EQ(first.boundPort(), 0);  // a new, unbound socket
  CSocketH second(&log);
  ASSERT_TRUE(second.openSocket(CSocketH::kUdp));
  EXPECT_TRUE(second.bindLocal(port));  // the first socket let its port go
}

TEST(Socket, DestinationChecks) {
  CLogH log = plainLog("S");
  CSocketH socket(&log);
  CoutCapture out;
  EXPECT_FALSE(socket.setDestAddr(nullptr, 1));
  // The limited-broadcast address converts to the same value as a failure.
  EXPECT_FALSE(socket.setDestAddr("255.255.255.255", 1));
  EXPECT_FALSE(socket.setDestAddr("10.0.0.x", 1));
  EXPECT_FALSE(socket.setDestHost(nullptr, 1));
  EXPECT_FALSE(socket.hasDestination());
  EXPECT_FALSE(socket.hostToAddr(""));
  EXPECT_FALSE(socket.addrToHost(nullptr));
  EXPECT_FALSE(socket.addrToHost("1.2.x"));
  EXPECT_EQ(
      out.lines(),
      (Lines{"S: ERROR: CSocketH: The IP address is empty.",
             "S: ERROR: CSocketH: The format of IP address (255.255.255.255) is wrong.",
             "S: ERROR: CSocketH: The format of IP address (10.0.0.x) is wrong.",
             "S: ERROR: The hostname is empty.", "S: WARNING: CSocketH: The hostname is empty.",
             "S: WARNING: CSocketH: The IP address is empty.",
             "S: WARNING: CSocketH: The format of IP address (1.2.x) is wrong."}));
  out.clear();

  // A dotted text and a host name both resolve.
  EXPECT_EQ(socket.hostToAddr("127.0.0.1").value_or(""), "127.0.0.1");
  EXPECT_EQ(socket.hostToAddr("localhost").value_or(""), "127.0.0.1");
  ASSERT_TRUE(socket.setDestHost("127.0.0.1", 5000));
  EXPECT_EQ(socket.destinationAddress().addressNetwork, platform::inetAddr("127.0.0.1"));
  EXPECT_EQ(platform::portOf(socket.destinationAddress()), 5000);
  EXPECT_FALSE(socket.hostToAddr("no-such-host.invalid"));
  EXPECT_EQ(out.lines(), (Lines{"S: WARNING: CSocketH: gethostbyname error"}));
}

TEST(Socket, UdpSendFailures) {
  CLogH log = plainLog("S");
  CSocketH socket(&log);
  CoutCapture out;
  uint8_t byte = 1;
  EXPECT_EQ(socket.sendBytes(&byte, 1), -1);
  // Never opened: the send itself fails, named after the unknown destination.
  ASSERT_TRUE(socket.setDestAddr("127.0.0.1", 9));
  EXPECT_LT(socket.sendBytes(&byte, 1), 0);
  EXPECT_EQ(out.lines(), (Lines{"S: ERROR: Destination has not been set yet.",
                                "S: ERROR: Sending to unknown: " + errnoLine(kBadSocket)}));
}

TEST(Socket, FailuresWithoutASocketOrDestination) {
  CLogH log = plainLog("S");
  CSocketH socket(&log);
  uint8_t byte = 1;
  ASSERT_TRUE(socket.openSocket(CSocketH::kTcp));
  {
    CoutCapture out;
    EXPECT_LT(socket.sendBytes(&byte, 1), 0);  // never connected, no destination name
    ASSERT_EQ(out.lines().size(), 1u);
    EXPECT_EQ(out.lines()[0].rfind("S: ERROR: Writing to unknown: ", 0), 0u) << out.text();
  }
  ASSERT_TRUE(socket.closeSocket());
  socket.setReceiveWait(true, 5, 0);
  {
    CoutCapture out;
    EXPECT_LT(socket.recvBytes(&byte, 1), 0);  // fails at once instead of waiting
    EXPECT_EQ(out.lines(), (Lines{"S: ERROR: Reading from unknown: " + errnoLine(kBadSocket)}));
  }
  // A datagram socket names its failed receive after the destination.
  ASSERT_TRUE(socket.openSocket(CSocketH::kUdp));
  ASSERT_TRUE(socket.closeSocket());
  CoutCapture out;
  EXPECT_LT(socket.recvBytes(&byte, 1), 0);
  EXPECT_EQ(out.lines(), (Lines{"S: ERROR: Receiving from unknown: " + errnoLine(kBadSocket)}));
}

TEST(Socket, ConnectFailures) {
  CLogH log = plainLog("S");
  CSocketH udp(&log);
  ASSERT_TRUE(udp.openSocket(CSocketH::kUdp));
  {
    CoutCapture out;
    EXPECT_FALSE(udp.connectDest());
    EXPECT_EQ(out.lines(), (Lines{"S: ERROR: This instance is not for TCP."}));
  }
  EXPECT_TRUE(udp.hasSocket());

  // A port nobody listens on: take one from the kernel and give it back.
  uint16_t closedPort;
  {
    CSocketH probe(&log);
    ASSERT_TRUE(probe.openSocket(CSocketH::kTcp));
    ASSERT_TRUE(probe.bindLocal(0));
    closedPort = probe.boundPort();
  }
  CSocketH tcp(&log);
  ASSERT_TRUE(tcp.openSocket(CSocketH::kTcp));
  ASSERT_TRUE(tcp.setDestHost("127.0.0.1", closedPort));
  std::string name;
  if (!platform::reverseLookup(platform::inetAddr("127.0.0.1"), &name)) name = "127.0.0.1";
  {
    CoutCapture out;
    EXPECT_FALSE(tcp.connectDest());
    ASSERT_FALSE(out.lines().empty());
    EXPECT_EQ(out.lines().back(), "S: ERROR: Connecting to " + name + ": " + errnoLine(kRefused));
  }
  // A closed socket cannot be made non-blocking either: the connect still
  // fails with its own error.
  ASSERT_TRUE(tcp.closeSocket());
  CoutCapture out;
  EXPECT_FALSE(tcp.connectDest());
  ASSERT_FALSE(out.lines().empty());
  EXPECT_EQ(out.lines().back(), "S: ERROR: Connecting to " + name + ": " + errnoLine(kBadSocket));
}

// A listener whose queue is full drops new connection requests, as an
// unreachable host does: the connect gives up instead of waiting for the
// system's SYN time-out of minutes.
TEST(Socket, ConnectToAPeerThatNeverAnswersGivesUp) {
  using namespace platform;
  SocketHandle listener = openSocket(kStream);
  Ipv4Address bound{};
  ASSERT_TRUE(bindSocket(listener, makeIpv4Address(inetAddr("127.0.0.1"), 0)) == 0 &&
              localAddress(listener, &bound) && listenSocket(listener, 0) == 0);
  std::vector<SocketHandle> fillers;
  bool full = false;
  for (int i = 0; i < 8 && !full; ++i) {
    fillers.push_back(openSocket(kStream));
    full = connectSocket(fillers.back(), bound, 300) != 0;
  }
  if (full) {
    CLogH log = plainLog("S");
    CSocketH tcp(&log);
    ASSERT_TRUE(tcp.openSocket(CSocketH::kTcp));
    ASSERT_TRUE(tcp.setDestHost("127.0.0.1", portOf(bound)));
    std::string name;
    if (!reverseLookup(inetAddr("127.0.0.1"), &name)) name = "127.0.0.1";
    CoutCapture out;
    EXPECT_FALSE(tcp.connectDest());
    ASSERT_FALSE(out.lines().empty());
    EXPECT_EQ(out.lines().back(), "S: ERROR: Connecting to " + name + ": " + errnoLine(kTimedOut));
  }
  for (SocketHandle filler : fillers) closeSocket(filler);
  closeSocket(listener);
  if (!full)
    GTEST_SKIP() << "a full listen queue refuses connections here instead of dropping them";
}

TEST(Socket, BindTracesTheHostNameAndReportsAPortInUse) {
  CLogH log = plainLog("S", 3);
  CoutCapture out;
  CSocketH first(&log);
  CSocketH second(&log);
  ASSERT_TRUE(first.openSocket(CSocketH::kUdp));
  ASSERT_TRUE(second.openSocket(CSocketH::kUdp));
  std::string host;
  if (!platform::hostName(&host)) host = "localhost";
  out.clear();
  ASSERT_TRUE(first.bindLocal(0));
  EXPECT_EQ(out.lines(),
            (Lines{"S: DEBUG: CSocketH: Binded local address " + host + " to the socket."}));
  out.clear();
  EXPECT_FALSE(second.bindLocal(first.boundPort()));
  EXPECT_EQ(out.text(),
            "S: ERROR: CSocketH: Binding local address: " + platform::socketErrorText(kInUse));
  out.clear();
}

TEST(Socket, PeerListIsEmptyAndRefusesPredictably) {
  CLogH log = plainLog("S");
  CSocketH udp(&log);
  CSocketH tcp(&log);
  ASSERT_TRUE(tcp.openSocket(CSocketH::kTcp));
  CoutCapture out;
  EXPECT_FALSE(udp.closePeer(7));
  EXPECT_FALSE(udp.peerAddr(7));
  EXPECT_FALSE(udp.peerHost(7));
  EXPECT_FALSE(tcp.closePeer(7));
  EXPECT_FALSE(tcp.peerAddr(7));
  EXPECT_FALSE(tcp.peerHost(7));
  uint8_t byte = 0;
  // Another socket than the own one is named from the (empty) peer list.
  EXPECT_LT(tcp.sendBytes(&byte, 1, 999), 0);
  EXPECT_EQ(out.lines(), (Lines{"S: WARNING: CSocketH: This instance is not for TCP.",
                                "S: WARNING: This instance is not for TCP.",
                                "S: WARNING: This instance is not for TCP.",
                                "S: ERROR: CSocketH: There is not such a socket available.",
                                "S: WARNING: There is not such a socket available.",
                                "S: WARNING: There is not such a socket available.",
                                "S: WARNING: There is not such a socket available.",
                                "S: ERROR: Writing to unknown: " + errnoLine(kBadSocket)}));
}

TEST(Socket, UdpReceivesBoundedAndRecordsTheSender) {
  CLogH log = plainLog("S");
  LoopbackPeer peer(Transport::kUdp);
  CSocketH socket(&log);
  ASSERT_TRUE(socket.openSocket(CSocketH::kUdp));
  ASSERT_TRUE(socket.bindLocal(0));
  ASSERT_TRUE(socket.setDestHost("127.0.0.1", peer.port()));
  uint8_t buffer[8] = {};
  socket.setReceiveWait(true, 0, 20000);
  EXPECT_EQ(socket.recvBytes(buffer, sizeof buffer), 0);  // nothing came

  uint16_t port = socket.boundPort();
  peer.start([port](LoopbackPeer& p) {
    p.sendTo({}, port);  // an empty datagram reads as 0 bytes
    p.sendTo({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, port);
  });
  socket.setReceiveWait(false, 0, 0);
  EXPECT_EQ(socket.recvBytes(buffer, sizeof buffer), 0);
  EXPECT_EQ(socket.recvBytes(buffer, 4), 4);  // one datagram, cut to the capacity
  EXPECT_EQ(buffer[3], 4);
  EXPECT_EQ(socket.sourceAddress().addressNetwork, platform::inetAddr("127.0.0.1"));
  EXPECT_EQ(platform::portOf(socket.sourceAddress()), peer.port());
}

TEST(Socket, TcpRoundTripAndEndOfConnection) {
  CLogH log = plainLog("S");
  LoopbackPeer peer(Transport::kTcp);
  CSocketH socket(&log);
  ASSERT_TRUE(socket.openSocket(CSocketH::kTcp));
  ASSERT_TRUE(socket.setDestHost("localhost", peer.port()));
  ASSERT_TRUE(socket.connectDest());
  peer.start([](LoopbackPeer& p) {
    Bytes got = p.receive();
    p.send(got);
    p.closeConnection();
  });
  socket.setReceiveWait(true, 3, 0);
  const uint8_t hello[5] = {'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(socket.sendBytes(hello, 5), 5);
  uint8_t buffer[16] = {};
  EXPECT_EQ(socket.recvBytes(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::memcmp(buffer, hello, 5), 0);
  EXPECT_EQ(socket.recvBytes(buffer, sizeof buffer), 0);  // closed by the peer
}

// The address a socket call receives is sockaddr_in's bytes: family, the port
// high byte first, the address as written; every socket library reads it so.
TEST(Socket, AddressesAreLaidOutInNetworkOrderAndPrintBack) {
  const platform::Ipv4Address address =
      platform::makeIpv4Address(platform::inetAddr("10.1.2.254"), 0x1389);
  uint8_t bytes[sizeof address];
  std::memcpy(bytes, &address, sizeof bytes);
  const uint8_t afterFamily[14] = {0x13, 0x89, 10, 1, 2, 254};
  EXPECT_EQ(address.family, platform::kAfInet);
  EXPECT_EQ(std::memcmp(bytes + 2, afterFamily, sizeof afterFamily), 0);
  EXPECT_EQ(platform::portOf(address), 0x1389);
  EXPECT_EQ(platform::inetNtoa(address.addressNetwork), "10.1.2.254");
  EXPECT_EQ(platform::portOf(platform::makeIpv4Address(0, 65535)), 65535);
  EXPECT_EQ(platform::inetNtoa(platform::inetAddr("255.255.255.255")), "255.255.255.255");
  EXPECT_EQ(platform::inetNtoa(0), "0.0.0.0");
}

}  // namespace
