// The socket wrapper over the kernel's loopback: CSocketH and the data
// reader, fed by real UDP datagrams and a real TCP stream. The other targets
// run over the in-memory network; this one keeps the system's sockets
// (src/platform/posix/socket.cpp) under the fuzzer, and checks that what the
// wrapper reads and sends is exactly what crossed the loopback.
//
// Input: operations as pieces (16-bit length, bytes): the first byte of a
// piece chooses the operation, the rest is its payload.
//   0, 1  the device (127.0.0.1) or a stranger (127.0.0.2) sends a datagram
//   2     the device writes the payload to the stream
//   3     CSocketH receives a datagram, at most (first payload byte) bytes
//   4     the data reader reads a datagram (strangers' are dropped)
//   5     CSocketH reads from the stream, at most (first payload byte) bytes
//   6     the data reader reads one framed packet into (first byte x 4) bytes,
//         a room the input's first framed read chooses for all of them
//   7     CSocketH sends the payload as a datagram and on the stream
//   8, 9  the device closes the connection, or resets it
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "net/socket.h"
#include "platform/socket.h"
#include "protocol/data_reader.h"
#include "protocol/limits.h"
#include "protocol/packet.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxOperations = 64;
constexpr int kMaxReconnects = 4;
// Kept well inside the kernel's buffers and a fresh connection's window,
// so nothing sent is dropped or held back on the sender's side.
constexpr size_t kMaxQueuedDatagrams = 32;
constexpr size_t kMaxQueuedBytes = 16 * 1024;
constexpr size_t kReadRoom = 1024;
// A wait for what must be there already, returned from at once when it is.
constexpr proto::WaitTime kExpected{1, 0};
constexpr proto::WaitTime kNone{0, 0};

struct Datagram {
  Bytes bytes;
  bool fromDevice;
};

void check(bool holds, const char* what) {
  if (!holds) fuzz::fail(what);
}

// What lives for the whole run. The TCP connection is kept from input to
// input (emptied between them), so the run does not churn through the
// system's ports; an input that ends it gets a new one.
struct Peers {
  fuzz::LoopbackPeer device{"127.0.0.1"};
  fuzz::LoopbackPeer stranger{"127.0.0.2"};
  fuzz::LoopbackListener listener;
  CLogH log = fuzz::quietLogger(false);
  std::unique_ptr<CSocketH> tcp;
  platform::SocketHandle server = platform::kNoSocket;

  void connect() {
    if (server != platform::kNoSocket) platform::abortSocket(server);
    tcp = std::make_unique<CSocketH>(&log);
    check(tcp->openSocket(CSocketH::kTcp) && tcp->setDestHost("127.0.0.1", listener.port()) &&
              tcp->connectDest(),
          "no TCP connection");
    server = listener.accept();
    check(server != platform::kNoSocket, "the listener saw no connection");
    // Without it the kernel holds a small write back until the last one is
    // acknowledged, and a read that does not wait would miss it.
    check(platform::setNoDelay(server), "no TCP_NODELAY on the device's end");
  }
  // Reads and drops what an earlier input left on the stream.
  void emptyStream() {
    if (!tcp) return connect();
    uint8_t buffer[4096];
    tcp->setReceiveWait(true, 0, 0);
    int32_t got;
    while ((got = tcp->recvBytes(buffer, sizeof buffer)) > 0) {
    }
    if (got < 0) connect();
  }
};

// One input's sockets and what should be waiting in each.
class Session {
 public:
  explicit Session(Peers& peers) : peers_(peers) {
    check(udp_.openSocket(CSocketH::kUdp) && udp_.bindLocal(0) &&
              udp_.setDestHost("127.0.0.1", peers.device.port()),
          "no UDP wrapper");
    peers.device.drain();
    peers.emptyStream();
  }

  void run(const fuzz::Piece& piece) {
    if (piece.bytes.empty()) return;
    const Bytes payload(piece.bytes.begin() + 1, piece.bytes.end());
    const size_t size = payload.empty() ? 0 : payload[0];
    switch (piece.bytes[0] % 10) {
      case 0:
      case 1:
        sendDatagram(payload, piece.bytes[0] % 10 == 0);
        break;
      case 2:
        if (peers_.server != platform::kNoSocket &&
            stream_.size() + payload.size() <= kMaxQueuedBytes) {
          check(platform::sendTo(peers_.server, payload.data(), payload.size(), nullptr) ==
                    static_cast<long>(payload.size()),
                "the device's stream write failed");
          stream_.insert(stream_.end(), payload.begin(), payload.end());
        }
        break;
      case 3:
        receiveDatagram(size);
        break;
      case 4:
        readDatagram();
        break;
      case 5:
        readStream(size);
        break;
      case 6:
        readFramed(size * 4);
        break;
      case 7:
        sendFromTheWrapper(payload);
        break;
      default:
        endConnection(piece.bytes[0] % 10 == 9);
        break;
    }
  }

 private:
  void sendDatagram(const Bytes& bytes, bool fromDevice) {
    if (datagrams_.size() == kMaxQueuedDatagrams || queuedBytes_ + bytes.size() > kMaxQueuedBytes) {
      return;
    }
    (fromDevice ? peers_.device : peers_.stranger)
        .sendTo(udp_.boundPort(), bytes.data(), bytes.size());
    datagrams_.push_back({bytes, fromDevice});
    queuedBytes_ += bytes.size();
  }

  // The next datagram as the model has it, taken off the queue.
  bool nextDatagram(Datagram* next) {
    if (datagrams_.empty()) return false;
    *next = std::move(datagrams_.front());
    datagrams_.pop_front();
    queuedBytes_ -= next->bytes.size();
    return true;
  }

  void receiveDatagram(size_t capacity) {
    Datagram expected;
    const bool any = nextDatagram(&expected);
    udp_.setReceiveWait(true, any ? kExpected.seconds : 0, 0);
    Bytes buffer(capacity + 1);
    const int32_t got = udp_.recvBytes(buffer.data(), static_cast<int32_t>(capacity));
    if (!any) return check(got == 0, "a datagram out of nowhere");
    // A datagram cut to the buffer; the rest is lost with it.
    const size_t whole = std::min(capacity, expected.bytes.size());
    check(got == static_cast<int32_t>(whole) &&
              std::equal(expected.bytes.begin(), expected.bytes.begin() + whole, buffer.begin()),
          "a datagram read other than it was sent");
    const fuzz::LoopbackPeer& sender = expected.fromDevice ? peers_.device : peers_.stranger;
    check(platform::portOf(udp_.sourceAddress()) == sender.port(), "the sender's port lost");
    check(udp_.sourceAddress().addressNetwork ==
              platform::inetAddr(expected.fromDevice ? "127.0.0.1" : "127.0.0.2"),
          "the sender's address lost");
  }

  void readDatagram() {
    Datagram expected;
    const bool any = nextDatagram(&expected);
    proto::setWaitsForTesting(kNone, kNone, any ? kExpected : kNone);
    uint8_t buffer[kReadRoom];
    const int32_t got = reader_.read(udp_, buffer, kReadRoom);
    const size_t kept =
        !any || !expected.fromDevice ? 0 : std::min(kReadRoom, expected.bytes.size());
    check(got == static_cast<int32_t>(kept) &&
              std::equal(expected.bytes.begin(), expected.bytes.begin() + kept, buffer),
          "the data reader took a datagram other than the device's as it was sent");
  }

  void readStream(size_t capacity) {
    peers_.tcp->setReceiveWait(true, stream_.empty() ? 0 : kExpected.seconds, 0);
    Bytes buffer(capacity + 1);
    const int32_t got = peers_.tcp->recvBytes(buffer.data(), static_cast<int32_t>(capacity));
    // The kernel may hand over less than is on its way, but never nothing
    // when something is, and never other bytes.
    const size_t whole = std::min(capacity, stream_.size());
    const auto taken = static_cast<size_t>(got);
    check(got >= 0 && taken <= whole && (taken > 0 || whole == 0) &&
              std::equal(stream_.begin(), stream_.begin() + taken, buffer.begin()),
          "the stream read other than it was written");
    stream_.erase(stream_.begin(), stream_.begin() + taken);
  }

  // The reader holds what it took of a packet that is not complete yet (the
  // header in itself, the body already in the caller's buffer, which must
  // stay the same from call to call); the model holds the same bytes.
  void readFramed(size_t askedRoom) {
    if (room_ == 0) room_ = askedRoom == 0 ? 1 : askedRoom;
    const size_t room = room_;
    Bytes packet = held_;
    packet.insert(packet.end(), stream_.begin(), stream_.end());
    const size_t header = proto::kHeaderBytes;
    const size_t whole = packet.size() >= header ? header + proto::byteCount(packet.data()) : 0;
    const bool complete = whole != 0 && packet.size() >= whole;
    proto::setWaitsForTesting(kNone, kNone, complete ? kExpected : kNone);
    uint8_t* buffer = framed_;
    const int32_t got = reader_.read(*peers_.tcp, buffer, static_cast<int32_t>(room));
    if (!complete) {
      check(got == 0, "a packet read before it was complete");
      held_ = packet;
      stream_.clear();
      return;
    }
    const size_t placed = std::min(whole, room);
    check(got == static_cast<int32_t>(placed) &&
              std::equal(packet.begin(), packet.begin() + placed, buffer),
          "a framed packet read other than it was written");
    held_.clear();
    stream_.assign(packet.begin() + whole, packet.end());
  }

  void sendFromTheWrapper(const Bytes& payload) {
    const auto length = static_cast<int32_t>(payload.size());
    check(udp_.sendBytes(payload.data(), length) == length, "a datagram send failed");
    Bytes got(payload.size() + 1);
    const long received = peers_.device.receive(got.data(), got.size());
    check(received == length && std::equal(payload.begin(), payload.end(), got.begin()),
          "the device got another datagram than the wrapper sent");
    if (peers_.server == platform::kNoSocket) return;
    check(peers_.tcp->sendBytes(payload.data(), length) == length, "a stream send failed");
    size_t taken = 0;
    while (taken < payload.size() && platform::waitReadable(peers_.server, 1, 0) == 1) {
      const long part =
          platform::recvFrom(peers_.server, got.data() + taken, payload.size() - taken, nullptr);
      if (part <= 0) break;
      taken += static_cast<size_t>(part);
    }
    check(taken == payload.size() && std::equal(payload.begin(), payload.end(), got.begin()),
          "the device read another stream than the wrapper wrote");
  }

  // A closed connection still delivers what was written, then ends; a reset
  // may lose it. Either way the next operations get a new connection.
  void endConnection(bool reset) {
    if (reconnects_ == kMaxReconnects) return;
    ++reconnects_;
    if (reset) {
      platform::abortSocket(peers_.server);
    } else {
      platform::closeSocket(peers_.server);
    }
    peers_.server = platform::kNoSocket;
    peers_.tcp->setReceiveWait(true, kExpected.seconds, 0);
    Bytes rest;
    uint8_t buffer[4096];
    int32_t got;
    while ((got = peers_.tcp->recvBytes(buffer, sizeof buffer)) > 0)
      rest.insert(rest.end(), buffer, buffer + got);
    if (!reset) {
      check(got == 0 && rest == stream_, "a closed stream lost or invented bytes");
    }
    peers_.connect();
    reader_ = DataPacketReader();
    stream_.clear();
    held_.clear();
  }

  Peers& peers_;
  CSocketH udp_{&peers_.log};
  // A reader of its own: what an earlier input left in one is gone.
  DataPacketReader reader_;
  int reconnects_ = 0;
  uint8_t framed_[kReadRoom] = {};
  size_t room_ = 0;  // of every framed read of the input, once the first chose it
  std::deque<Datagram> datagrams_;
  size_t queuedBytes_ = 0;
  Bytes stream_;  // written by the device, not yet read
  Bytes held_;    // taken by the data reader, part of a packet not yet complete
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Peers peers;
  check(peers.device.ok() && peers.stranger.ok(), "no loopback peers");
  Session session(peers);
  for (const fuzz::Piece& piece : fuzz::splitPieces(data, size, kMaxOperations)) session.run(piece);
  return 0;
}
