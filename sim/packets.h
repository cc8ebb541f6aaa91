// The simulator's packets, built byte by byte: headers, status blocks and
// data packets. No sockets here, so tests check the layouts directly.
#ifndef MOTIONSTAR_SIM_PACKETS_H
#define MOTIONSTAR_SIM_PACKETS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/simulator.h"

namespace sim {

// Header field offsets.
constexpr size_t kTypeOffset = 8;
constexpr size_t kUnitOffset = 9;
constexpr size_t kVersionOffset = 10;
constexpr size_t kErrorOffset = 11;
constexpr size_t kCountOffset = 14;

// Unit block: data offsets of the fields the driver reads or writes.
constexpr size_t kUnitBlockSize = 64;
constexpr size_t kReportRateOffset = 7;
constexpr size_t kScalingOffset = 8;
constexpr size_t kHemisphereOffset = 10;
constexpr size_t kAlphaMinOffset = 16;
constexpr size_t kAlphaMaxOffset = 30;
constexpr size_t kVmOffset = 44;
constexpr size_t kAnglesOffset = 58;

// System block: data offsets.
constexpr size_t kSystemFlagsOffset = 0;
constexpr size_t kTransmitterOffset = 4;
constexpr size_t kMeasurementRateOffset = 5;
constexpr size_t kChassisOffset = 11;
constexpr size_t kDeviceStatusOffset = 16;

// The most wand bytes one aux record carries: 15 words.
constexpr size_t kMaxWandBytesPerPacket = 30;

// A 16-byte header: type, unit address, version 3, error code, byte count.
std::vector<uint8_t> makeHeader(uint8_t type, uint8_t unitAddress, uint8_t errorCode,
                                uint16_t byteCount);

// Device status byte an address reports by default.
uint8_t defaultDeviceStatus(const Config& config, int address);
// The system block (data part) the configuration starts with.
std::vector<uint8_t> makeSystemBlock(const Config& config);
// A unit block (data part) holding the given setup.
std::vector<uint8_t> makeUnitBlock(const UnitSetup& setup);

// The aux record that carries the given wand bytes (at most
// kMaxWandBytesPerPacket): word count w = max(2, ceil(k / 2)), the bytes
// from offset 2, their count k at offset 2w + 3; 2w + 4 bytes in all.
std::vector<uint8_t> makeAuxRecord(const std::vector<uint8_t>& wandBytes);

// A data packet: header (type kDataPacket, packet index in bytes 0..3),
// one record per sensor address in the given order, then `aux` (may be
// empty). The header's byte count covers records and aux.
std::vector<uint8_t> makeDataPacket(uint64_t packetIndex, const std::vector<int>& sensors,
                                    const std::vector<uint8_t>& aux);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_PACKETS_H
