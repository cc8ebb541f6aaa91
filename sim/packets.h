// The tracking system's packets as the simulator writes them: codes, offsets
// and sizes, and the builders of headers, aux records and data packets. No
// sockets and no state here, so tests check the layouts directly. Written
// from the packet tables, not with the driver's decoders, so the two check
// each other.
#ifndef MOTIONSTAR_SIM_PACKETS_H
#define MOTIONSTAR_SIM_PACKETS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// Command and reply codes (packet header byte 8).
constexpr uint8_t kWakeUp = 10;
constexpr uint8_t kShutDown = 11;
constexpr uint8_t kGetStatus = 101;
constexpr uint8_t kSendSetup = 102;
constexpr uint8_t kRunContinuous = 104;
constexpr uint8_t kStopData = 105;
constexpr uint8_t kWakeUpReply = 20;
constexpr uint8_t kShutDownReply = 21;
constexpr uint8_t kStatusReply = 201;
constexpr uint8_t kSetupReply = 202;
constexpr uint8_t kRunReply = 204;
constexpr uint8_t kStopReply = 205;
// Type byte of the data packets of the stream.
constexpr uint8_t kDataPacket = 210;
constexpr uint8_t kProtocolVersion = 3;
constexpr size_t kHeaderSize = 16;
constexpr size_t kUnitRecordSize = 14;

// Error codes the simulator puts into its own refusals.
constexpr uint8_t kErrorNoSuchUnit = 2;  // GET_STATUS or SEND_SETUP for an address not on the bus
constexpr uint8_t kErrorBadSetup = 3;    // SEND_SETUP whose block length differs from the status

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

// Unit record: the address byte, then the six pose words from offset 2.
constexpr size_t kRecordAddressOffset = 0;
constexpr size_t kRecordWordsOffset = 2;

// The most wand bytes one aux record carries: 15 words.
constexpr size_t kMaxWandBytesPerPacket = 30;

// "WAKE_UP", "GET_STATUS", ... for a command code; "unknown command" else.
const char* commandName(uint8_t code);

// A 16-byte header: type, unit address, version 3, error code, byte count.
std::vector<uint8_t> makeHeader(uint8_t type, uint8_t unitAddress, uint8_t errorCode,
                                uint16_t byteCount);

// The aux record that carries the given wand bytes (at most
// kMaxWandBytesPerPacket): word count w = max(2, ceil(k / 2)), the bytes
// from offset 2, their count k at offset 2w + 3; 2w + 4 bytes in all.
std::vector<uint8_t> makeAuxRecord(const std::vector<uint8_t>& wandBytes);

// What one unit record of a data packet carries: the sensor's FBB address
// and its pose words x, y, z, azimuth, elevation, roll.
struct UnitRecord {
  int address = 0;
  std::array<int16_t, 6> words{};
};

// A data packet: header (type kDataPacket, packet index in bytes 0..3), the
// records in the given order, then `aux` (may be empty). The header's byte
// count covers records and aux.
std::vector<uint8_t> makeDataPacket(uint64_t packetIndex, const std::vector<UnitRecord>& records,
                                    const std::vector<uint8_t>& aux);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_PACKETS_H
