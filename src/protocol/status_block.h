// The system and unit status blocks: the bytes SEND_SETUP rewrites, the
// position scale a unit's block selects, and the two status reports.
// Data offsets count from the end of the 16-byte header.
#ifndef MOTIONSTAR_PROTOCOL_STATUS_BLOCK_H
#define MOTIONSTAR_PROTOCOL_STATUS_BLOCK_H

#include <cstddef>
#include <cstdint>

#include "motionstar/host_abi.h"
#include "protocol/unit_codes.h"

namespace proto {

// System block.
constexpr size_t kSystemFlagsOffset = 0;
constexpr size_t kTransmitterOffset = 4;  // ERC address << 4 | transmitter number
constexpr size_t kMeasurementRateOffset = 5;
constexpr size_t kMeasurementRateBytes = 6;  // ASCII digits, samples per second x 1000
constexpr size_t kChassisIdOffset = 11;
constexpr size_t kDeviceStatusOffset = 16;  // one byte per FBB address, address 1 first

// Unit block.
constexpr size_t kReportRateOffset = 7;
constexpr size_t kScalingOffset = 8;
constexpr size_t kHemisphereOffset = 10;
constexpr size_t kAlphaMinOffset = 16;
constexpr size_t kAlphaMaxOffset = 30;
constexpr size_t kVmOffset = 44;
constexpr size_t kFilterWords = 7;
constexpr size_t kAlignmentOffset = 58;  // three angle words
constexpr size_t kAlignmentBytes = 6;

struct SystemSettings {
  uint32_t ercId;
  const char* measurementRate;  // its first six bytes are sent
};

struct UnitSettings {
  ReportRate reportRate;
  Hemisphere hemisphere;
  // A table is sent only when its option was given; otherwise the device's
  // own values travel back unchanged.
  const uint16_t* alphaMin;  // 7 words each
  bool alphaMinGiven;
  const uint16_t* alphaMax;
  bool alphaMaxGiven;
  const uint16_t* vmTable;
  bool vmGiven;
  bool caveCoordinates;
};

// The writers change a status packet in place; bytes past capacity are
// left alone. The readers take the bytes that arrived and read anything
// past them as zero.
void writeSystemSetup(uint8_t* packet, size_t capacity, const SystemSettings& settings);
void writeUnitSetup(uint8_t* packet, size_t capacity, const UnitSettings& settings);
// A unit's full-scale range in feet until its status selects another.
constexpr float kDefaultPositionScale = 12.0f;
// The unit's full-scale range in feet for its scaling word, or current for
// an unknown word.
float selectPositionScale(const uint8_t* packet, size_t length, float current);

// INFO lines on the device's logger, continued on standard output.
void printSystemReport(const CLogH& deviceLog, const uint8_t* packet, size_t length,
                       uint32_t ercId);
void printUnitReport(const CLogH& deviceLog, uint32_t unit, const uint8_t* packet, size_t length);

}  // namespace proto

#endif  // MOTIONSTAR_PROTOCOL_STATUS_BLOCK_H
