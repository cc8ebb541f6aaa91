#include "sim/packets.h"

#include <algorithm>
#include <array>

#include "common/byte_order.h"

namespace sim {

std::vector<uint8_t> makeHeader(uint8_t type, uint8_t unitAddress, uint8_t errorCode,
                                uint16_t byteCount) {
  std::vector<uint8_t> header(kHeaderSize, 0);
  header[kTypeOffset] = type;
  header[kUnitOffset] = unitAddress;
  header[kVersionOffset] = kProtocolVersion;
  header[kErrorOffset] = errorCode;
  writeU16be(&header[kCountOffset], byteCount);
  return header;
}

uint8_t defaultDeviceStatus(const Config& config, int address) {
  // Reported and running; the ERC drives transmitter 0, every other unit receives.
  if (address == config.ercAddress) return 0x80 | 0x40 | 0x10 | 0x01;
  return 0x80 | 0x40 | 0x20;
}

std::vector<uint8_t> makeSystemBlock(const Config& config) {
  const size_t units = static_cast<size_t>(config.units);
  std::vector<uint8_t> block(kDeviceStatusOffset + units, 0);
  block[kSystemFlagsOffset] = config.systemFlags;
  block[kTransmitterOffset] =
      static_cast<uint8_t>(((config.ercAddress & 0x0F) << 4) | (config.transmitterNumber & 0x03));
  for (size_t i = 0; i < 6 && i < config.measurementRate.size(); ++i) {
    block[kMeasurementRateOffset + i] = static_cast<uint8_t>(config.measurementRate[i]);
  }
  block[kChassisOffset] = static_cast<uint8_t>(config.chassisId);
  for (size_t i = 0; i < units; ++i) {
    block[kDeviceStatusOffset + i] = i < config.deviceStatus.size()
                                         ? config.deviceStatus[i]
                                         : defaultDeviceStatus(config, static_cast<int>(i) + 1);
  }
  return block;
}

std::vector<uint8_t> makeUnitBlock(const UnitSetup& setup) {
  std::vector<uint8_t> block(kUnitBlockSize, 0);
  block[kReportRateOffset] = static_cast<uint8_t>(setup.reportRate);
  writeU16be(&block[kScalingOffset], setup.scaling);
  block[kHemisphereOffset] = setup.hemisphere;
  for (size_t i = 0; i < 7; ++i) {
    writeU16be(&block[kAlphaMinOffset + 2 * i], setup.alphaMin[i]);
    writeU16be(&block[kAlphaMaxOffset + 2 * i], setup.alphaMax[i]);
    writeU16be(&block[kVmOffset + 2 * i], setup.vm[i]);
  }
  for (size_t i = 0; i < 3; ++i) {
    writeU16be(&block[kAnglesOffset + 2 * i], static_cast<uint16_t>(setup.angles[i]));
  }
  return block;
}

std::vector<uint8_t> makeAuxRecord(const std::vector<uint8_t>& wandBytes) {
  const size_t k = std::min(wandBytes.size(), kMaxWandBytesPerPacket);
  const size_t words = std::max<size_t>(2, (k + 1) / 2);
  std::vector<uint8_t> aux(2 * words + 4, 0);
  aux[1] = static_cast<uint8_t>(words);
  std::copy(wandBytes.begin(), wandBytes.begin() + static_cast<std::ptrdiff_t>(k), aux.begin() + 2);
  aux[2 * words + 3] = static_cast<uint8_t>(k);
  return aux;
}

std::vector<uint8_t> makeDataPacket(uint64_t packetIndex, const std::vector<int>& sensors,
                                    const std::vector<uint8_t>& aux) {
  const size_t dataBytes = kUnitRecordSize * sensors.size() + aux.size();
  std::vector<uint8_t> packet =
      makeHeader(kDataPacket, 0, 0, static_cast<uint16_t>(std::min<size_t>(dataBytes, 0xFFFF)));
  // Bytes 0..3 are free for the device's own use: the packet index lets a
  // reader match a packet with the words it should carry.
  writeU32be(&packet[0], static_cast<uint32_t>(packetIndex));
  packet.reserve(kHeaderSize + dataBytes);
  for (int address : sensors) {
    uint8_t record[kUnitRecordSize] = {};
    record[0] = static_cast<uint8_t>(address & 0x7F);
    const std::array<int16_t, 6> words = Simulator::unitWords(address, packetIndex);
    for (size_t w = 0; w < 6; ++w) {
      writeU16be(&record[2 + 2 * w], static_cast<uint16_t>(words[w]));
    }
    packet.insert(packet.end(), record, record + kUnitRecordSize);
  }
  packet.insert(packet.end(), aux.begin(), aux.end());
  return packet;
}

}  // namespace sim
