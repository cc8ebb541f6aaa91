// recvData on fuzzed bytes: a device initialised over UDP or TCP reads the
// input's pieces as the tracking system's data, over the in-memory loopback
// network, so framing, decoding, the aux bounds, the wand assembler,
// calibration, transforms and publication all run on fuzzed bytes at speed.
//
// Input: one byte choosing the device set-up and the slots earlier devices
// took, then pieces of a 16-bit length and that many bytes. Over UDP a
// piece is one datagram, from an address that is not the device's when
// bit 15 of its length is set; over TCP the pieces run together in one
// stream, which the device ends after a piece with that bit.
//
// Checked on every packet: recvData returns 1 or -1, the masks flag only
// the device's own IDs, and every published pose and valuator lies within
// what its record can hold. Checked on every input: no storage element of
// another device changed, and the device left no socket open.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "common/byte_order.h"
#include "driver/motionstar.h"
#include "fuzz_support.h"
#include "platform/memory/memory_socket.h"
#include "protocol/limits.h"

namespace {

struct Variant {
  uint32_t trackers;
  bool wanda;
  bool tcp;
  const char* options;
};

// Calibration, transforms and controller options each appear in some
// set-up, so every stage of the packet's road is fuzzed.
const Variant kVariants[] = {
    {2, true, false, "wanda 1\n"},
    {1, false, false, "erc 2\n"},
    {32, true, false,
     "wanda 2\ncalibration " CALIB_SHIFT_X
     " a b\nsensoroffset 3 1 2 3 inches\ntransmitterrotation 0 0 1 90\ncavecoord off\n"},
    {5, true, false,
     "wanda 1\nerc 3\nsensorrotation 2 1 0 0 45\nsensortranslation 4 0.1 0.2 0.3\n"
     "transmitteroffset 1 0 0 m\nbuttonorder 1 3 1 2\nvaluatororder 1 2 1\n"},
    {4, false, false, ""},
    {2, true, true, "wanda 1\n"},
    {5, false, true,
     "erc 4\nsensorrotationmatrix 2 0 1 0 -1 0 0 0 0 1\ntransmitteroffset 0 2 0 feet\n"},
};
constexpr size_t kVariantCount = sizeof kVariants / sizeof kVariants[0];
constexpr size_t kMaxPackets = 16;
// A TCP device listens on this port of its address.
constexpr uint16_t kTcpDevicePort = 6000;

// Published values read back: poses in 1/100000 feet or degrees, valuators
// in 1/1000. The conversion saturates what it cannot hold.
constexpr int32_t kHalfTurn = 180 * 100000;
constexpr int32_t kFullValuator = 1000;

uint32_t maskBits(const uint8_t* mask) {
  return (uint32_t{mask[0]} << 24) | (uint32_t{mask[1]} << 16) | (uint32_t{mask[2]} << 8) | mask[3];
}

// Bits of IDs first..last that exist (1 to 32).
uint32_t idBits(uint32_t first, uint32_t last) {
  uint32_t bits = 0;
  for (uint32_t id = first; id <= last && id <= 32; ++id) bits |= 1u << (id - 1);
  return bits;
}

int32_t published(int32_t field) {
  return static_cast<int32_t>(fromBigEndian32(static_cast<uint32_t>(field)));
}

// What every flagged element now holds is a pose or wand state its record
// can carry: no saturated position (out of range, or infinite before the
// conversion), angles within half a turn, valuators within full scale.
void checkPublishedValues(fuzz::PatternStorages& storages, const UpdatedMasks& masks) {
  const uint32_t trackers = maskBits(masks.tracker);
  const uint32_t controllers = maskBits(masks.controller);
  for (uint32_t id = 1; id <= kMaxElements; ++id) {
    if ((trackers >> (id - 1)) & 1u) {
      const TraData record = storages.tracker(id);
      for (int i = 0; i < 6; ++i) {
        const int32_t value = published(record.pose[i]);
        const bool inRange = i < 3 ? value != INT32_MIN && value != INT32_MAX
                                   : value >= -kHalfTurn && value <= kHalfTurn;
        if (!inRange) fuzz::fail("a published pose value out of its record's range");
      }
    }
    if ((controllers >> (id - 1)) & 1u) {
      const ConData record = storages.controller(id);
      const uint32_t count = fromBigEndian32(record.valuatorCount);
      for (uint32_t i = 0; i < count && i < kMaxElements; ++i) {
        const int32_t value = published(record.valuators[i]);
        if (value < -kFullValuator || value > kFullValuator) {
          fuzz::fail("a published valuator out of its range");
        }
      }
    }
  }
}

struct Context {
  fuzz::LoopbackPeer device{"127.0.0.1"};
  fuzz::LoopbackPeer stranger{"127.0.0.2"};
  fuzz::LoopbackListener listener{kTcpDevicePort};
  uint16_t port = fuzz::freeUdpPort();
  size_t socketsOfTheRun = platform::memory::openSocketCount();
  // Each set-up's configuration, written once: the device only reads it.
  std::unique_ptr<fuzz::TextEntry> entries[kVariantCount];

  Context() {
    for (size_t i = 0; i < kVariantCount; ++i) {
      const Variant& variant = kVariants[i];
      const std::string text = std::to_string(variant.trackers) + "\n" + variant.options +
                               "motionstaraddress 127.0.0.1\nprotocol " +
                               (variant.tcp ? "tcp" : "udp") + "\nport " + std::to_string(port) +
                               "\n";
      entries[i] = std::make_unique<fuzz::TextEntry>(reinterpret_cast<const uint8_t*>(text.data()),
                                                     text.size());
    }
  }
};

// Writes the piece to the device's side of the connection, or sends it as a
// datagram to the driver's port.
void deliver(Context& context, bool tcp, platform::SocketHandle& server, const fuzz::Piece& piece) {
  if (!tcp) {
    fuzz::LoopbackPeer& sender = piece.flag ? context.stranger : context.device;
    sender.sendTo(context.port, piece.bytes.data(), piece.bytes.size());
    return;
  }
  if (server == platform::kNoSocket) return;
  platform::sendTo(server, piece.bytes.data(), piece.bytes.size(), nullptr);
  if (piece.flag) {
    platform::closeSocket(server);
    server = platform::kNoSocket;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  fuzz::keepLibraryLoaded(CALIB_SHIFT_X);
  // Every piece is queued before recvData reads it, so no wait is needed:
  // a read that finds nothing returns at once.
  proto::setWaitsForTesting({0, 0}, {0, 0}, {0, 0});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Context context;
  if (size < 1 || !context.device.ok() || context.port == 0) return 0;
  const Variant& variant = kVariants[data[0] % kVariantCount];
  // Slots earlier devices took: 0 to 3, as many as leave room for this one.
  const uint32_t room = kMaxElements - variant.trackers + 1;
  const uint32_t trackerBase = (data[0] / kVariantCount) % (room < 4 ? room : 4);
  const uint32_t controllerBase = (data[0] / (kVariantCount * 4)) % 2;
  const bool debugOn = data[0] >= 128;

  fuzz::PatternStorages storages(trackerBase, controllerBase);
  CLogH log = fuzz::quietLogger(debugOn);
  auto* device = new CMotionStar(context.entries[data[0] % kVariantCount]->entry(), &log);
  InitInfo info = storages.initInfo();
  if (device->init(&info) != 1) fuzz::fail("the device does not initialise");
  platform::SocketHandle server = variant.tcp ? context.listener.accept() : platform::kNoSocket;
  if (variant.tcp && server == platform::kNoSocket) fuzz::fail("the device did not connect");

  const uint32_t trackerBits = idBits(trackerBase + 1, trackerBase + variant.trackers);
  const uint32_t controllerBits = idBits(controllerBase + 1, controllerBase + 1);
  for (const fuzz::Piece& piece : fuzz::splitPieces(data + 1, size - 1, kMaxPackets)) {
    deliver(context, variant.tcp, server, piece);
    UpdatedMasks masks;
    std::memset(&masks, 0xFF, sizeof masks);
    const int32_t result = device->recvData(&masks, nullptr);
    if (result != 1 && result != -1) fuzz::fail("recvData returned neither 1 nor -1");
    if ((maskBits(masks.tracker) & ~trackerBits) != 0) fuzz::fail("a foreign tracker ID flagged");
    // Without a wanda the controller mask is not the device's to touch.
    const uint32_t controllerMask = maskBits(masks.controller);
    if (variant.wanda ? (controllerMask & ~controllerBits) != 0 : controllerMask != 0xFFFFFFFFu) {
      fuzz::fail("a foreign controller ID flagged");
    }
    if (!variant.wanda) std::memset(masks.controller, 0, sizeof masks.controller);
    checkPublishedValues(storages, masks);
  }
  // Elements of other devices hold their pattern until they are written, so
  // one look at the end sees a write by any packet.
  storages.checkTrackersOutside(trackerBase + 1, trackerBase + variant.trackers);
  storages.checkControllersOutside(controllerBase + 1,
                                   variant.wanda ? controllerBase + 1 : controllerBase);
  delete device;
  if (server != platform::kNoSocket) platform::closeSocket(server);
  context.device.drain();
  if (platform::memory::openSocketCount() != context.socketsOfTheRun) {
    fuzz::fail("a socket left open");
  }
  return 0;
}
