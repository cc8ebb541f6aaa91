// Status blocks as the device might send them: the setup writers, the
// position-scale reader and both reports run on a packet of the fuzzed
// length, held in a buffer of exactly that size so any access past the
// bytes that arrived is caught.
//
// Input: one byte of settings (ERC address, hemisphere, which filter tables
// are given, CAVE coordinates, debug output), ten bytes of measurement-rate
// text, then the packet.
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "protocol/packet.h"
#include "protocol/status_block.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 11) return 0;
  const uint8_t flags = data[0];
  char rate[11] = {};
  std::memcpy(rate, data + 1, 10);
  const size_t length = size - 11 > proto::kMaxReplyBytes ? proto::kMaxReplyBytes : size - 11;
  std::vector<uint8_t> packet(data + 11, data + 11 + length);
  const CLogH log = fuzz::quietLogger((flags & 0x80) != 0);
  const uint32_t ercId = flags & 0x07;
  const uint32_t unit = (flags >> 3) & 0x0F;

  proto::printSystemReport(log, packet.data(), packet.size(), ercId);
  proto::printUnitReport(log, unit, packet.data(), packet.size());
  const float scale = proto::selectPositionScale(packet.data(), packet.size(), 12.0f);
  if (!(scale == 3.0f || scale == 6.0f || scale == 12.0f || scale == 24.0f)) {
    fuzz::fail("a position scale that is not a full-scale range");
  }

  std::vector<uint8_t> before = packet;
  proto::writeSystemSetup(packet.data(), packet.size(), {ercId, rate});
  const uint16_t table[7] = {1, 2, 3, 4, 5, 6, 7};
  proto::UnitSettings settings{};
  settings.reportRate = static_cast<proto::ReportRate>(data[1]);
  settings.hemisphere = static_cast<proto::Hemisphere>(flags % 6);
  settings.alphaMin = table;
  settings.alphaMinGiven = (flags & 0x08) != 0;
  settings.alphaMax = table;
  settings.alphaMaxGiven = (flags & 0x10) != 0;
  settings.vmTable = table;
  settings.vmGiven = (flags & 0x20) != 0;
  settings.caveCoordinates = (flags & 0x40) != 0;
  proto::writeUnitSetup(packet.data(), packet.size(), settings);
  // The header travels back as the device sent it.
  const size_t header = length < proto::kHeaderBytes ? length : proto::kHeaderBytes;
  if (header > 0 && std::memcmp(before.data(), packet.data(), header) != 0) {
    fuzz::fail("a setup writer changed the header");
  }
  proto::printUnitReport(log, unit, packet.data(), packet.size());
  return 0;
}
