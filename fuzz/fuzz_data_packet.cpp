// recvData fed from real datagrams: a device initialised over UDP on
// loopback reads each piece of the input as one data packet, so framing,
// decoding, the aux bounds, the wand assembler, calibration, transforms and
// publication all run on fuzzed bytes.
//
// Input: one byte choosing the device set-up and the slots earlier devices
// took, then pieces of a 16-bit length and that many bytes; a length with
// bit 15 set comes from an address that is not the device's.
//
// Checked on every packet: recvData returns 1 or -1, the masks flag only
// the device's own IDs, and no storage element of another device changes.
#include <cstdint>
#include <cstring>
#include <string>

#include "driver/motionstar.h"
#include "fuzz_support.h"
#include "protocol/limits.h"

namespace {

struct Variant {
  uint32_t trackers;
  bool wanda;
  const char* options;
};

// Calibration, transforms and controller options each appear in some
// set-up, so every stage of the packet's road is fuzzed.
const Variant kVariants[] = {
    {2, true, "wanda 1\n"},
    {1, false, "erc 2\n"},
    {32, true,
     "wanda 2\ncalibration " CALIB_SHIFT_X
     " a b\nsensoroffset 3 1 2 3 inches\ntransmitterrotation 0 0 1 90\ncavecoord off\n"},
    {5, true,
     "wanda 1\nerc 3\nsensorrotation 2 1 0 0 45\nsensortranslation 4 0.1 0.2 0.3\n"
     "transmitteroffset 1 0 0 m\nbuttonorder 1 3 1 2\nvaluatororder 1 2 1\n"},
    {4, false, ""},
};
constexpr size_t kVariantCount = sizeof kVariants / sizeof kVariants[0];
constexpr size_t kMaxPackets = 16;

uint32_t maskBits(const uint8_t* mask) {
  return (uint32_t{mask[0]} << 24) | (uint32_t{mask[1]} << 16) | (uint32_t{mask[2]} << 8) | mask[3];
}

// Bits of IDs first..last that exist (1 to 32).
uint32_t idBits(uint32_t first, uint32_t last) {
  uint32_t bits = 0;
  for (uint32_t id = first; id <= last && id <= 32; ++id) bits |= 1u << (id - 1);
  return bits;
}

struct Context {
  fuzz::LoopbackPeer device{"127.0.0.1"};
  fuzz::LoopbackPeer stranger{"127.0.0.2"};
  uint16_t port = fuzz::freeUdpPort();
  int failedInits = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  fuzz::keepLibraryLoaded(CALIB_SHIFT_X);
  // Every datagram is queued before recvData reads it; a short wait only
  // bounds a read that finds nothing.
  proto::setWaitsForTesting({0, 100000}, {0, 100000}, {0, 20000});
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

  std::string text = std::to_string(variant.trackers) + "\n" + variant.options +
                     "motionstaraddress 127.0.0.1\nprotocol udp\nport " +
                     std::to_string(context.port) + "\n";
  fuzz::TextEntry entry(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  fuzz::PatternStorages storages(trackerBase, controllerBase);
  CLogH log = fuzz::quietLogger(debugOn);
  auto* device = new CMotionStar(entry.entry(), &log);
  InitInfo info = storages.initInfo();
  if (device->init(&info) != 1) {
    // The port was taken meanwhile: look for another one next time. A device
    // that never comes up would leave nothing fuzzed.
    delete device;
    context.port = fuzz::freeUdpPort();
    if (++context.failedInits == 3) fuzz::fail("the device does not initialise");
    return 0;
  }
  context.failedInits = 0;

  const uint32_t trackerBits = idBits(trackerBase + 1, trackerBase + variant.trackers);
  const uint32_t controllerBits = idBits(controllerBase + 1, controllerBase + 1);
  for (const fuzz::Piece& piece : fuzz::splitPieces(data + 1, size - 1, kMaxPackets)) {
    fuzz::LoopbackPeer& sender = piece.flag ? context.stranger : context.device;
    sender.sendTo(context.port, piece.bytes.data(), piece.bytes.size());
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
    storages.checkTrackersOutside(trackerBase + 1, trackerBase + variant.trackers);
    storages.checkControllersOutside(controllerBase + 1,
                                     variant.wanda ? controllerBase + 1 : controllerBase);
  }
  delete device;
  return 0;
}
