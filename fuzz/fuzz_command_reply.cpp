// Command exchanges against a scripted peer: the replies of the input are
// queued on a loopback socket before the exchange starts, so every wrong
// type, error code, short or long reply, split or merged stream is read
// exactly as the device would deliver it.
//
// Input: one byte choosing the exchange, the transport, the unit and debug
// output, then the replies as pieces (16-bit length, bytes; on TCP they
// run together in one stream).
#include <cmath>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "net/socket.h"
#include "platform/socket.h"
#include "protocol/exchange.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/setup.h"

namespace {

constexpr size_t kMaxReplies = 128;

// A listening TCP socket on loopback; each input gets its own connection.
class Listener {
 public:
  Listener() {
    socket_ = platform::openSocket(platform::kStream);
    platform::Ipv4Address local = platform::makeIpv4Address(platform::inetAddr("127.0.0.1"), 0);
    if (socket_ == platform::kNoSocket || platform::bindSocket(socket_, local) != 0 ||
        platform::listenSocket(socket_, 4) != 0 || !platform::localAddress(socket_, &local)) {
      fuzz::fail("no loopback listener");
    }
    port_ = platform::portOf(local);
  }
  uint16_t port() const { return port_; }
  platform::SocketHandle accept() { return platform::acceptSocket(socket_, nullptr); }

 private:
  platform::SocketHandle socket_ = platform::kNoSocket;
  uint16_t port_ = 0;
};

void runExchange(uint8_t selector, CSocketH& socket, const CLogH& log) {
  const uint8_t unit = (selector >> 4) & 0x07;
  switch (selector & 0x07) {
    case 0:
      proto::wakeUp(socket, log);
      break;
    case 1:
      proto::shutDown(socket, log);
      break;
    case 2:
      proto::runContinuous(socket, log);
      break;
    case 3:
      proto::stopData(socket, log);
      break;
    case 4: {
      uint8_t buffer[proto::kStatusBufferBytes] = {};
      const int32_t length = proto::getStatus(socket, log, buffer, unit);
      if (length != 0 && (length < static_cast<int32_t>(proto::kHeaderBytes) ||
                          length > static_cast<int32_t>(proto::kMaxReplyBytes) ||
                          proto::packetType(buffer) != proto::replyCode(proto::kGetStatus) ||
                          proto::errorCode(buffer) != 0)) {
        fuzz::fail("GET_STATUS accepted a reply it should have refused");
      }
      break;
    }
    case 5:
      proto::sendSystemSetup(socket, log, {unit, "086100"});
      break;
    case 6: {
      const uint16_t table[7] = {655, 655, 655, 655, 655, 655, 655};
      proto::UnitSettings settings{proto::ReportRate::kEverySampling,
                                   proto::Hemisphere::kPlusZ,
                                   table,
                                   true,
                                   table,
                                   false,
                                   table,
                                   true,
                                   true};
      float scale = 12.0f;
      proto::sendUnitSetup(socket, log, unit, settings, &scale);
      if (!(scale == 3.0f || scale == 6.0f || scale == 12.0f || scale == 24.0f)) {
        fuzz::fail("a position scale that is not a full-scale range");
      }
      break;
    }
    default:
      if (unit == 0) {
        proto::printSystemStatus(socket, log, 1);
      } else {
        proto::printUnitSetup(socket, log, unit);
      }
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  // The replies are queued before the exchange reads them; when they run
  // out the exchange sees a read of nothing at once.
  proto::setWaitsForTesting({0, 1000}, {0, 1000}, {0, 1000});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::LoopbackPeer udpPeer;
  static Listener listener;
  if (size < 1 || !udpPeer.ok()) return 0;
  const uint8_t selector = data[0];
  const bool tcp = (selector & 0x08) != 0;
  const CLogH log = fuzz::quietLogger((selector & 0x80) != 0);
  const auto replies = fuzz::splitPieces(data + 1, size - 1, kMaxReplies);

  CSocketH socket(&log);
  platform::SocketHandle server = platform::kNoSocket;
  if (tcp) {
    if (!socket.openSocket(CSocketH::kTcp) || !socket.setDestHost("127.0.0.1", listener.port()) ||
        !socket.connectDest()) {
      return 0;
    }
    server = listener.accept();
    if (server == platform::kNoSocket) return 0;
    for (const fuzz::Piece& reply : replies) {
      platform::sendTo(server, reply.bytes.data(), reply.bytes.size(), nullptr);
    }
  } else {
    if (!socket.openSocket(CSocketH::kUdp) || !socket.bindLocal(0) ||
        !socket.setDestHost("127.0.0.1", udpPeer.port())) {
      return 0;
    }
    for (const fuzz::Piece& reply : replies) {
      udpPeer.sendTo(socket.boundPort(), reply.bytes.data(), reply.bytes.size());
    }
  }
  runExchange(selector, socket, log);
  socket.closeSocket();
  if (server != platform::kNoSocket) platform::closeSocket(server);
  udpPeer.drain();
  return 0;
}
