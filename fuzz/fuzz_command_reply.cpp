// Command exchanges against a scripted peer: the replies of the input are
// queued on the in-memory loopback network before the exchange starts, so
// every wrong type, error code, short or long reply, split or merged stream
// is read exactly as the device would deliver it, at speed.
//
// Input: one byte choosing the exchange, the transport, the unit and debug
// output, then the replies as pieces (16-bit length, bytes; on TCP they
// run together in one stream).
//
// Checked on every input: what GET_STATUS and SEND_SETUP accept, and that
// no socket is left open.
#include <cmath>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "net/socket.h"
#include "platform/memory/memory_socket.h"
#include "platform/socket.h"
#include "protocol/exchange.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/setup.h"

namespace {

constexpr size_t kMaxReplies = 128;

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
  proto::setWaitsForTesting({0, 0}, {0, 0}, {0, 0});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::LoopbackPeer udpPeer;
  static fuzz::LoopbackListener listener;
  static const size_t socketsOfTheRun = platform::memory::openSocketCount();
  if (!udpPeer.ok()) fuzz::fail("no scripted UDP peer");
  if (size < 1) return 0;
  const uint8_t selector = data[0];
  const bool tcp = (selector & 0x08) != 0;
  const CLogH log = fuzz::quietLogger((selector & 0x80) != 0);
  const auto replies = fuzz::splitPieces(data + 1, size - 1, kMaxReplies);

  CSocketH socket(&log);
  platform::SocketHandle server = platform::kNoSocket;
  if (tcp) {
    if (!socket.openSocket(CSocketH::kTcp) || !socket.setDestHost("127.0.0.1", listener.port()) ||
        !socket.connectDest()) {
      fuzz::fail("no connection to the scripted peer");
    }
    server = listener.accept();
    if (server == platform::kNoSocket) fuzz::fail("the scripted peer saw no connection");
    for (const fuzz::Piece& reply : replies) {
      platform::sendTo(server, reply.bytes.data(), reply.bytes.size(), nullptr);
    }
  } else {
    if (!socket.openSocket(CSocketH::kUdp) || !socket.bindLocal(0) ||
        !socket.setDestHost("127.0.0.1", udpPeer.port())) {
      fuzz::fail("no UDP socket towards the scripted peer");
    }
    for (const fuzz::Piece& reply : replies) {
      udpPeer.sendTo(socket.boundPort(), reply.bytes.data(), reply.bytes.size());
    }
  }
  runExchange(selector, socket, log);
  socket.closeSocket();
  if (server != platform::kNoSocket) platform::closeSocket(server);
  udpPeer.drain();
  if (platform::memory::openSocketCount() != socketsOfTheRun) fuzz::fail("a socket left open");
  return 0;
}
