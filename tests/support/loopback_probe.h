// What the loopback network of the system running the tests can do, found
// by trying it. Wine, which runs the Windows build's tests here, differs
// from Linux and Windows in two ways that tests built on them must skip:
// it widens a UDP bind to 127.x.y.z (other than 127.0.0.1) to every address,
// so such sockets share one port and answer from 127.0.0.1; and it closes an
// aborted TCP connection in order instead of resetting it.
#ifndef MOTIONSTAR_TESTS_SUPPORT_LOOPBACK_PROBE_H
#define MOTIONSTAR_TESTS_SUPPORT_LOOPBACK_PROBE_H

#include <cstdint>

#include "platform/socket.h"

namespace loopback_probe {

constexpr int32_t kWaitSeconds = 5;

// Two UDP sockets on one port of 127.0.0.2 and 127.0.0.3, and a datagram
// between them that arrives from the sender's own address.
inline bool udpAddressesStayApart() {
  static const bool apart = [] {
    using namespace platform;
    SocketHandle a = openSocket(kDatagram);
    SocketHandle b = openSocket(kDatagram);
    bool ok = a != kNoSocket && b != kNoSocket;
    Ipv4Address addressA{};
    ok = ok && bindSocket(a, makeIpv4Address(inetAddr("127.0.0.2"), 0)) == 0 &&
         localAddress(a, &addressA);
    ok = ok && bindSocket(b, makeIpv4Address(inetAddr("127.0.0.3"), portOf(addressA))) == 0;
    const uint8_t byte = 1;
    ok = ok && sendTo(b, &byte, 1, &addressA) == 1 && waitReadable(a, kWaitSeconds, 0) == 1;
    uint8_t got = 0;
    Ipv4Address source{};
    ok = ok && recvFrom(a, &got, 1, &source) == 1 && source.addressNetwork == inetAddr("127.0.0.3");
    if (a != kNoSocket) closeSocket(a);
    if (b != kNoSocket) closeSocket(b);
    return ok;
  }();
  return apart;
}

// A TCP connection aborted by one end reaches the other as a failed
// receive, not as an end of data.
inline bool tcpAbortResetsThePeer() {
  static const bool resets = [] {
    using namespace platform;
    SocketHandle listener = openSocket(kStream);
    SocketHandle client = openSocket(kStream);
    SocketHandle server = kNoSocket;
    Ipv4Address bound{};
    bool ok = listener != kNoSocket && client != kNoSocket &&
              bindSocket(listener, makeIpv4Address(inetAddr("127.0.0.1"), 0)) == 0 &&
              localAddress(listener, &bound) && listenSocket(listener, 1) == 0 &&
              connectSocket(client, bound) == 0;
    if (ok) server = acceptSocket(listener, nullptr);
    ok = ok && server != kNoSocket;
    if (ok) abortSocket(server);
    uint8_t byte = 0;
    ok =
        ok && waitReadable(client, kWaitSeconds, 0) == 1 && recvFrom(client, &byte, 1, nullptr) < 0;
    if (client != kNoSocket) closeSocket(client);
    if (listener != kNoSocket) closeSocket(listener);
    return ok;
  }();
  return resets;
}

}  // namespace loopback_probe

#endif  // MOTIONSTAR_TESTS_SUPPORT_LOOPBACK_PROBE_H
