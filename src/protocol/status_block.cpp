#include "protocol/status_block.h"

#include <cstdlib>
#include <iostream>

#include "common/byte_order.h"
#include "common/logger.h"
#include "protocol/packet.h"

namespace proto {
namespace {

// A status block as it arrived: data offsets, zero past the received bytes.
class Block {
 public:
  Block(const uint8_t* packet, size_t length) : packet_(packet), length_(length) {}
  uint8_t byte(size_t dataOffset) const {
    size_t at = kHeaderBytes + dataOffset;
    return at < length_ ? packet_[at] : 0;
  }
  uint16_t word(size_t dataOffset) const {
    return static_cast<uint16_t>(byte(dataOffset) << 8 | byte(dataOffset + 1));
  }
  // Data bytes that arrived from dataOffset on.
  size_t available(size_t dataOffset) const {
    size_t at = kHeaderBytes + dataOffset;
    return at < length_ ? length_ - at : 0;
  }
  uint16_t headerByteCount() const { return length_ >= kHeaderBytes ? byteCount(packet_) : 0; }

 private:
  const uint8_t* packet_;
  size_t length_;
};

void putByte(uint8_t* packet, size_t capacity, size_t dataOffset, uint8_t value) {
  size_t at = kHeaderBytes + dataOffset;
  if (at < capacity) packet[at] = value;
}

void putWord(uint8_t* packet, size_t capacity, size_t dataOffset, uint16_t value) {
  putByte(packet, capacity, dataOffset, static_cast<uint8_t>(value >> 8));
  putByte(packet, capacity, dataOffset + 1, static_cast<uint8_t>(value));
}

void putTable(uint8_t* packet, size_t capacity, size_t dataOffset, const uint16_t* table) {
  for (size_t k = 0; k < kFilterWords; ++k) putWord(packet, capacity, dataOffset + 2 * k, table[k]);
}

const char* const kSystemFlagLines[8] = {
    "CMotionStar: The system is running.",
    "CMotionStar: System error detected.",
    "CMotionStar: FBB error detected.",
    "CMotionStar: Local error detected.",
    "CMotionStar: Power status error detected.",
    "CMotionStar: I am Master.",
    "CMotionStar: Defines type of CRT sync being used.",
    "CMotionStar: CRT Sync mode enabled and active.",
};

void printDeviceLine(const CLogH& log, size_t index, uint8_t status) {
  logh::info(log, "CMotionStar: Flock device ", false);
  std::cout << index + 1 << ":" << ((status & 0x40) ? " running" : " not-running");
  if (status & 0x20) std::cout << ", Receiver";
  if ((status & 0x10) && (status & 0x01)) std::cout << ", ERC-0";
  if (status & 0x08) std::cout << ", ERC-3";
  if (status & 0x04) std::cout << ", ERC-2";
  if (status & 0x02) std::cout << ", ERC-1";
  if (!(status & 0x10) && (status & 0x01)) std::cout << ", SRT";
  std::cout << std::endl;
}

void printTable(const CLogH& log, uint32_t unit, const char* title, const Block& block,
                size_t dataOffset) {
  logh::info(log, "CMotionStar: (dev:", false);
  std::cout << unit << title << std::endl;
  for (size_t k = 0; k < kFilterWords; ++k) {
    logh::info(log, "CMotionStar: word ", false);
    std::cout << k + 1 << ": " << std::hex << block.word(dataOffset + 2 * k) << std::dec
              << std::endl;
  }
}

}  // namespace

void writeSystemSetup(uint8_t* packet, size_t capacity, const SystemSettings& settings) {
  putByte(packet, capacity, kTransmitterOffset, static_cast<uint8_t>(settings.ercId << 4));
  for (size_t i = 0; i < kMeasurementRateBytes; ++i) {
    putByte(packet, capacity, kMeasurementRateOffset + i,
            static_cast<uint8_t>(settings.measurementRate[i]));
  }
}

void writeUnitSetup(uint8_t* packet, size_t capacity, const UnitSettings& settings) {
  putByte(packet, capacity, kReportRateOffset, static_cast<uint8_t>(settings.reportRate));
  putByte(packet, capacity, kHemisphereOffset, static_cast<uint8_t>(settings.hemisphere));
  if (settings.alphaMinGiven) putTable(packet, capacity, kAlphaMinOffset, settings.alphaMin);
  if (settings.alphaMaxGiven) putTable(packet, capacity, kAlphaMaxOffset, settings.alphaMax);
  if (settings.vmGiven) putTable(packet, capacity, kVmOffset, settings.vmTable);
  // Angle words that match the sign change of decoded angles in CAVE
  // coordinates: about +90, 0 and -90 degrees.
  const uint16_t alignment[3] = {0x3FFF, 0x0000, 0xC000};
  for (size_t k = 0; k < 3; ++k) {
    putWord(packet, capacity, kAlignmentOffset + 2 * k,
            settings.caveCoordinates ? alignment[k] : 0);
  }
}

float selectPositionScale(const uint8_t* packet, size_t length, float current) {
  switch (Block(packet, length).word(kScalingOffset)) {
    case 36:
      return 3.0f;
    case 72:
      return 6.0f;
    case 144:
      return 12.0f;
    case 288:
      return 24.0f;
    default:
      return current;
  }
}

void printSystemReport(const CLogH& log, const uint8_t* packet, size_t length, uint32_t ercId) {
  Block block(packet, length);
  uint8_t flags = block.byte(kSystemFlagsOffset);
  for (int bit = 7; bit >= 0; --bit) {
    if (flags & (1u << bit)) logh::info(log, kSystemFlagLines[7 - bit]);
  }
  uint8_t transmitter = block.byte(kTransmitterOffset);
  if (ercId != 0) {
    logh::info(log, "CMotionStar: ERC address: ", false);
    std::cout << (transmitter >> 4) << " with the transmitter number " << (transmitter & 0x03)
              << std::endl;
  }
  char rate[kMeasurementRateBytes + 1] = {};
  for (size_t i = 0; i < kMeasurementRateBytes; ++i) {
    rate[i] = static_cast<char>(block.byte(kMeasurementRateOffset + i));
  }
  logh::info(log, "CMotionStar: Measurement rate: ", false);
  std::cout << std::strtol(rate, nullptr, 10) * 0.001 << " samples/sec." << std::endl;
  logh::info(log, "CMotionStar: Chassis ID: ", false);
  std::cout << static_cast<int>(static_cast<int8_t>(block.byte(kChassisIdOffset))) << "."
            << std::endl;

  int32_t devices = static_cast<int32_t>(block.headerByteCount()) - 16;
  // Only the status bytes that arrived are read, whatever the count claims.
  size_t count = devices > 0 ? static_cast<size_t>(devices) : 0;
  if (count > block.available(kDeviceStatusOffset)) count = block.available(kDeviceStatusOffset);
  for (size_t i = 0; i < count; ++i) {
    uint8_t status = block.byte(kDeviceStatusOffset + i);
    if (status & 0x80) printDeviceLine(log, i, status);
  }
}

void printUnitReport(const CLogH& log, uint32_t unit, const uint8_t* packet, size_t length) {
  Block block(packet, length);
  logh::info(log, "CMotionStar: (dev:", false);
  std::cout << unit << ") ReportRate: " << 1.0 / static_cast<int8_t>(block.byte(kReportRateOffset))
            << std::endl;
  logh::info(log, "CMotionStar: (dev:", false);
  std::cout << unit << ") Scaling: " << block.word(kScalingOffset) << std::endl;
  logh::info(log, "CMotionStar: (dev:", false);
  std::cout << unit << ") Hemisphere: ";
  uint8_t hemisphere = block.byte(kHemisphereOffset);
  if (const char* name = hemisphereName(hemisphere)) {
    std::cout << name << std::endl;
  } else {
    std::cout << "Unknown: " << static_cast<int>(hemisphere) << std::endl;
  }
  printTable(log, unit, ") AlphaMin:", block, kAlphaMinOffset);
  printTable(log, unit, ") AlphaMax:", block, kAlphaMaxOffset);
  printTable(log, unit, ") VM:", block, kVmOffset);
}

}  // namespace proto
