#include "sim/capture_session.h"

#include <algorithm>
#include <map>
#include <memory>

#include "common/byte_order.h"
#include "sim/packets.h"

namespace sim {
namespace {

// A hole in a TCP stream that this many later segments have not filled, or
// that has stayed open this long, was lost by the capture, not the network:
// the retransmission that filled it on the wire will not show.
constexpr size_t kMaxHeldSegments = 8;
constexpr int64_t kMaxHoleUs = 1000000;
// How many packets the search for a packet start after a lost stretch walks
// before it gives up on a segment.
constexpr int kResyncPackets = 4;

bool isCommandCode(uint8_t code) {
  return code == kWakeUp || code == kShutDown || code == kGetStatus || code == kSendSetup ||
         code == kRunContinuous || code == kStopData;
}

std::string flowText(bool tcp, const Endpoint& from, const Endpoint& to) {
  return std::string(tcp ? "TCP " : "UDP ") + endpointText(from) + " -> " + endpointText(to);
}

std::string hexByte(uint8_t value) {
  const char digits[] = "0123456789abcdef";
  return std::string("0x") + digits[value >> 4] + digits[value & 0x0F];
}

// Bytes of one direction of a TCP connection, in stream order.
struct Piece {
  int64_t offset = 0;
  int64_t timeUs = 0;
  size_t frame = 0;
  std::vector<uint8_t> bytes;
  bool afterHole = false;  // bytes before it are missing from the capture
};

// One direction of a TCP connection as its receiver saw it: segments taken
// in capture order, delivered once they join the bytes before them.
class TcpDirection {
 public:
  void add(const FrameContent& segment, int64_t timeUs, size_t frame) {
    if (segment.tcpFlags & kTcpSyn) {
      base_ = segment.seq + 1;
      started_ = true;
      lastOffset_ = next_ = 0;
    } else if (!started_) {
      // The capture began after the handshake: the first segment seen starts the stream.
      base_ = segment.seq;
      started_ = true;
    }
    if (segment.payloadLength == 0) return;
    const uint32_t reference = base_ + static_cast<uint32_t>(lastOffset_);
    const int64_t offset =
        lastOffset_ +
        static_cast<int32_t>(segment.seq + ((segment.tcpFlags & kTcpSyn) ? 1 : 0) - reference);
    lastOffset_ = offset;
    Held held{timeUs, frame,
              std::vector<uint8_t>(segment.payload, segment.payload + segment.payloadLength)};
    auto [place, fresh] = held_.emplace(offset, held);
    if (!fresh && place->second.bytes.size() < held.bytes.size()) place->second = std::move(held);
    deliver(timeUs, frame);
    while (!held_.empty() && (held_.size() > kMaxHeldSegments ||
                              timeUs - held_.begin()->second.timeUs > kMaxHoleUs)) {
      skipHole();
    }
  }

  // The capture has ended: whatever waits behind a hole comes after it.
  void finish() {
    while (!held_.empty()) skipHole();
  }

  const std::vector<Piece>& pieces() const { return pieces_; }
  int64_t repeatedBytes() const { return repeatedBytes_; }
  int64_t lostBytes() const { return lostBytes_; }

 private:
  struct Held {
    int64_t timeUs;
    size_t frame;
    std::vector<uint8_t> bytes;
  };

  // Hands on what joins the bytes delivered so far; a late segment that
  // filled a hole makes the ones held behind it arrive with it.
  void deliver(int64_t timeUs, size_t frame, bool afterHole = false) {
    while (!held_.empty() && held_.begin()->first <= next_) {
      const int64_t offset = held_.begin()->first;
      Held held = std::move(held_.begin()->second);
      held_.erase(held_.begin());
      const int64_t end = offset + static_cast<int64_t>(held.bytes.size());
      if (end <= next_) {
        repeatedBytes_ += static_cast<int64_t>(held.bytes.size());
        continue;
      }
      const size_t skip = static_cast<size_t>(next_ - offset);
      repeatedBytes_ += static_cast<int64_t>(skip);
      Piece piece{next_, std::max(timeUs, held.timeUs), std::max(frame, held.frame),
                  std::vector<uint8_t>(held.bytes.begin() + static_cast<std::ptrdiff_t>(skip),
                                       held.bytes.end()),
                  afterHole};
      afterHole = false;
      pieces_.push_back(std::move(piece));
      next_ = end;
    }
  }

  // Gives up on the first hole: the segment behind it arrives at its own time.
  void skipHole() {
    const int64_t offset = held_.begin()->first;
    lostBytes_ += offset - next_;
    next_ = offset;
    const Held& first = held_.begin()->second;
    deliver(first.timeUs, first.frame, true);
  }

  bool started_ = false;
  uint32_t base_ = 0;
  int64_t lastOffset_ = 0;
  int64_t next_ = 0;
  std::map<int64_t, Held> held_;
  std::vector<Piece> pieces_;
  int64_t repeatedBytes_ = 0;
  int64_t lostBytes_ = 0;
};

struct Connection {
  Endpoint client;
  TcpDirection toDevice;
  TcpDirection fromDevice;
};

// Whether a MotionStar packet starts at piece i: walking the packets from
// there over the bytes that follow without a hole, one ends exactly where
// a segment ends.
bool startsPacket(const std::vector<Piece>& pieces, size_t i) {
  std::vector<uint8_t> bytes;
  std::vector<size_t> ends;
  for (size_t j = i; j < pieces.size() && (j == i || !pieces[j].afterHole); ++j) {
    bytes.insert(bytes.end(), pieces[j].bytes.begin(), pieces[j].bytes.end());
    ends.push_back(bytes.size());
    if (bytes.size() > 16 * 1024) break;
  }
  size_t position = 0;
  for (int k = 0; k < kResyncPackets; ++k) {
    if (position + kHeaderSize > bytes.size()) return false;
    position += kHeaderSize + readU16be(&bytes[position + kCountOffset]);
    if (std::find(ends.begin(), ends.end(), position) != ends.end()) return true;
    if (position > bytes.size()) return false;
  }
  return false;
}

bool isCommand(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= kHeaderSize && isCommandCode(bytes[kTypeOffset]);
}

// Cuts one direction's bytes into packets by their headers' byte counts.
// Toward the device every header must be a command's: false, with
// *problem, at the first that is not (whether or not its packet came whole).
bool framePackets(const std::vector<Piece>& pieces, bool fromDevice, const std::string& who,
                  const Endpoint& device, std::vector<SessionPacket>* out,
                  std::vector<std::string>* notes, std::string* problem) {
  std::vector<uint8_t> buffer;
  bool searching = false;
  int64_t skipped = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const Piece& piece = pieces[i];
    if (piece.afterHole) {
      if (!buffer.empty()) skipped += static_cast<int64_t>(buffer.size());
      buffer.clear();
      searching = true;
    }
    if (searching) {
      if (!startsPacket(pieces, i)) {
        skipped += static_cast<int64_t>(piece.bytes.size());
        continue;
      }
      searching = false;
    }
    buffer.insert(buffer.end(), piece.bytes.begin(), piece.bytes.end());
    size_t used = 0;
    while (buffer.size() - used >= kHeaderSize) {
      if (!fromDevice && !isCommandCode(buffer[used + kTypeOffset])) {
        *problem = "packet " + std::to_string(piece.frame) + " (TCP to " + endpointText(device) +
                   ") does not hold a MotionStar command (type byte " +
                   hexByte(buffer[used + kTypeOffset]) + ")";
        return false;
      }
      const size_t length = kHeaderSize + readU16be(&buffer[used + kCountOffset]);
      if (buffer.size() - used < length) break;
      SessionPacket packet{
          fromDevice, piece.timeUs, piece.frame,
          std::vector<uint8_t>(buffer.begin() + static_cast<std::ptrdiff_t>(used),
                               buffer.begin() + static_cast<std::ptrdiff_t>(used + length))};
      out->push_back(std::move(packet));
      used += length;
    }
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
  }
  if (skipped > 0) {
    notes->push_back(std::to_string(skipped) + " bytes " + who +
                     " around a stretch the capture lost were skipped up to the next whole packet");
  }
  if (!buffer.empty()) {
    notes->push_back("the stream " + who + " ends inside a packet (" +
                     std::to_string(buffer.size()) + " bytes left out)");
  }
  return true;
}

}  // namespace

std::string endpointText(const Endpoint& endpoint) {
  return std::to_string(endpoint.address >> 24) + "." +
         std::to_string((endpoint.address >> 16) & 0xFF) + "." +
         std::to_string((endpoint.address >> 8) & 0xFF) + "." +
         std::to_string(endpoint.address & 0xFF) + ":" + std::to_string(endpoint.port);
}

bool extractSession(const CaptureFile& capture, CapturedSession* session, std::string* problem) {
  bool found = false;
  size_t cutBeforePorts = 0;
  size_t otherDevices = 0;
  size_t firstOther = 0;
  std::map<Endpoint, std::unique_ptr<Connection>> open;
  std::vector<std::unique_ptr<Connection>> connections;  // in the order they began
  session->packets.clear();
  session->notes.clear();

  for (size_t i = 0; i < capture.frames.size(); ++i) {
    const CapturedFrame& frame = capture.frames[i];
    const size_t number = i + 1;
    const FrameContent c = parseFrame(capture.link, frame.bytes.data(), frame.bytes.size());
    if (c.kind == FrameContent::Kind::kOther) continue;
    if (!c.portsKnown) {
      if (c.kind == FrameContent::Kind::kCut) ++cutBeforePorts;
      continue;
    }
    const uint16_t devicePort = c.tcp ? kDeviceTcpPort : kDeviceUdpPort;
    if (c.source.port != devicePort && c.destination.port != devicePort) continue;
    const std::string flow = flowText(c.tcp, c.source, c.destination);
    if (c.kind == FrameContent::Kind::kCut) {
      *problem = "packet " + std::to_string(number) + " (" + flow +
                 ") was captured cut short: " + std::to_string(frame.bytes.size()) + " of its " +
                 std::to_string(frame.wireLength) +
                 " bytes (the capture's snap length; record with tcpdump -s 0)";
      return false;
    }
    if (c.kind == FrameContent::Kind::kFragment) {
      *problem = "packet " + std::to_string(number) + " (" + flow +
                 ") is a fragment of a larger IPv4 packet, which the replay does not put together";
      return false;
    }
    const bool fromDevice = c.source.port == devicePort;
    const Endpoint device = fromDevice ? c.source : c.destination;
    const Endpoint client = fromDevice ? c.destination : c.source;
    const Transport transport = c.tcp ? Transport::kTcp : Transport::kUdp;
    if (!found) {
      found = true;
      session->transport = transport;
      session->device = device;
    } else if (transport != session->transport || device != session->device) {
      if (otherDevices++ == 0) firstOther = number;
      continue;
    }

    if (!c.tcp) {
      SessionPacket packet{fromDevice, frame.timeUs, number,
                           std::vector<uint8_t>(c.payload, c.payload + c.payloadLength)};
      if (!fromDevice && !isCommand(packet.bytes)) {
        *problem =
            "packet " + std::to_string(number) + " (" + flow + ") is not a MotionStar command (" +
            std::to_string(packet.bytes.size()) + " bytes" +
            (packet.bytes.size() > kTypeOffset ? ", type byte " + hexByte(packet.bytes[kTypeOffset])
                                               : std::string()) +
            ")";
        return false;
      }
      session->packets.push_back(std::move(packet));
      continue;
    }

    // A new handshake from a client port ends that port's earlier connection.
    const bool opening = (c.tcpFlags & kTcpSyn) && !(c.tcpFlags & kTcpAck) && !fromDevice;
    auto place = open.find(client);
    if (place == open.end() || opening) {
      if (place != open.end()) connections.push_back(std::move(place->second));
      auto connection = std::make_unique<Connection>();
      connection->client = client;
      place = open.insert_or_assign(client, std::move(connection)).first;
    }
    Connection& connection = *place->second;
    (fromDevice ? connection.fromDevice : connection.toDevice).add(c, frame.timeUs, number);
  }

  if (!found) {
    *problem = "no packet to or from TCP port " + std::to_string(kDeviceTcpPort) + " or UDP port " +
               std::to_string(kDeviceUdpPort) + ": not a MotionStar session";
    if (cutBeforePorts > 0) {
      *problem += " (" + std::to_string(cutBeforePorts) +
                  " packets were captured too short to show their ports; record with tcpdump -s 0)";
    }
    return false;
  }
  if (otherDevices > 0) {
    session->notes.push_back(std::to_string(otherDevices) +
                             " packets of another device or transport left out (the first is "
                             "packet " +
                             std::to_string(firstOther) + ")");
  }

  if (session->transport == Transport::kTcp) {
    for (auto& entry : open) connections.push_back(std::move(entry.second));
    int64_t repeated = 0;
    int64_t lost = 0;
    for (auto& connection : connections) {
      const std::string client = endpointText(connection->client);
      for (bool fromDevice : {false, true}) {
        TcpDirection& direction = fromDevice ? connection->fromDevice : connection->toDevice;
        direction.finish();
        repeated += direction.repeatedBytes();
        lost += direction.lostBytes();
        if (!framePackets(direction.pieces(), fromDevice,
                          fromDevice ? "to " + client : "from " + client, session->device,
                          &session->packets, &session->notes, problem)) {
          return false;
        }
      }
    }
    // Both directions and every connection in the order of the frames that
    // completed their packets.
    std::stable_sort(
        session->packets.begin(), session->packets.end(),
        [](const SessionPacket& a, const SessionPacket& b) { return a.frame < b.frame; });
    if (repeated > 0) {
      session->notes.push_back(std::to_string(repeated) +
                               " retransmitted or duplicated TCP bytes dropped");
    }
    if (lost > 0) {
      session->notes.push_back(std::to_string(lost) + " TCP bytes missing from the capture");
    }
  }
  return true;
}

}  // namespace sim
