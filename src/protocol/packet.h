// The MotionStar packet: a 16-byte header, optionally followed by a data
// block. Offsets, codes and sizes shared by the command exchanges, the
// status blocks and the data decoders.
#ifndef MOTIONSTAR_PROTOCOL_PACKET_H
#define MOTIONSTAR_PROTOCOL_PACKET_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/byte_order.h"

namespace proto {

// Header (multi-byte fields big-endian).
constexpr size_t kHeaderBytes = 16;
constexpr size_t kTypeOffset = 8;
constexpr size_t kUnitOffset = 9;  // FBB address; 0 = the whole system
constexpr size_t kVersionOffset = 10;
constexpr size_t kErrorOffset = 11;
constexpr size_t kByteCountOffset = 14;  // data bytes after the header
constexpr uint8_t kProtocolVersion = 3;

// Command codes and the codes of their replies.
enum Command : uint8_t {
  kWakeUp = 10,
  kShutDown = 11,
  kGetStatus = 101,
  kSendSetup = 102,
  kRunContinuous = 104,
  kStopData = 105,
};

constexpr uint8_t replyCode(Command command) {
  return static_cast<uint8_t>(command < 100 ? command + 10 : command + 100);
}

// Replies are read this many times at most while wrong packets are skipped.
constexpr int kMaxReadAttempts = 100;
// Status replies are read with this capacity into a zeroed buffer one byte larger.
constexpr size_t kMaxReplyBytes = 256;
constexpr size_t kStatusBufferBytes = 257;

// Data packets: one record per tracker unit, then the auxiliary record.
constexpr size_t kUnitRecordBytes = 14;
constexpr size_t kAuxRecordBytes = 8;
constexpr size_t unitRecordOffset(uint32_t index) {
  return kHeaderBytes + kUnitRecordBytes * index;
}
// The aux record follows the n unit records.
constexpr size_t auxRecordOffset(uint32_t units) {
  return unitRecordOffset(units);
}
// What one data read asks for with n tracker units.
constexpr size_t dataRequestBytes(uint32_t units) {
  return auxRecordOffset(units) + kAuxRecordBytes;
}
// The buffer a device reads its data packets into, for a bus of n devices:
// far more than any packet of the bus, so the aux record's counts never lead
// outside it.
constexpr size_t dataBufferBytes(uint32_t devices) {
  return 224 * size_t{devices} + 8;
}

// A command that carries no data: zero, with code, unit and version set.
inline void buildCommand(uint8_t* packet, Command command, uint8_t unit) {
  std::memset(packet, 0, kHeaderBytes);
  packet[kTypeOffset] = command;
  packet[kUnitOffset] = unit;
  packet[kVersionOffset] = kProtocolVersion;
}

inline uint8_t packetType(const uint8_t* packet) {
  return packet[kTypeOffset];
}
inline uint8_t errorCode(const uint8_t* packet) {
  return packet[kErrorOffset];
}
inline uint16_t byteCount(const uint8_t* packet) {
  return readU16be(packet + kByteCountOffset);
}

}  // namespace proto

#endif  // MOTIONSTAR_PROTOCOL_PACKET_H
