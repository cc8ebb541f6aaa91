#include "sim/packets.h"

#include <algorithm>

#include "common/byte_order.h"

namespace sim {

const char* commandName(uint8_t code) {
  switch (code) {
    case kWakeUp:
      return "WAKE_UP";
    case kShutDown:
      return "SHUT_DOWN";
    case kGetStatus:
      return "GET_STATUS";
    case kSendSetup:
      return "SEND_SETUP";
    case kRunContinuous:
      return "RUN_CONTINUOUS";
    case kStopData:
      return "STOP_DATA";
    default:
      return "unknown command";
  }
}

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

std::vector<uint8_t> makeAuxRecord(const std::vector<uint8_t>& wandBytes) {
  const size_t k = std::min(wandBytes.size(), kMaxWandBytesPerPacket);
  const size_t words = std::max<size_t>(2, (k + 1) / 2);
  std::vector<uint8_t> aux(2 * words + 4, 0);
  aux[1] = static_cast<uint8_t>(words);
  std::copy(wandBytes.begin(), wandBytes.begin() + static_cast<std::ptrdiff_t>(k), aux.begin() + 2);
  aux[2 * words + 3] = static_cast<uint8_t>(k);
  return aux;
}

std::vector<uint8_t> makeDataPacket(uint64_t packetIndex, const std::vector<UnitRecord>& records,
                                    const std::vector<uint8_t>& aux) {
  const size_t dataBytes = kUnitRecordSize * records.size() + aux.size();
  std::vector<uint8_t> packet =
      makeHeader(kDataPacket, 0, 0, static_cast<uint16_t>(std::min<size_t>(dataBytes, 0xFFFF)));
  // Bytes 0..3 are free for the device's own use: the packet index lets a
  // reader match a packet with the words it should carry.
  writeU32be(&packet[0], static_cast<uint32_t>(packetIndex));
  packet.reserve(kHeaderSize + dataBytes);
  for (const UnitRecord& unit : records) {
    uint8_t record[kUnitRecordSize] = {};
    record[kRecordAddressOffset] = static_cast<uint8_t>(unit.address & 0x7F);
    for (size_t w = 0; w < unit.words.size(); ++w) {
      writeU16be(&record[kRecordWordsOffset + 2 * w], static_cast<uint16_t>(unit.words[w]));
    }
    packet.insert(packet.end(), record, record + kUnitRecordSize);
  }
  packet.insert(packet.end(), aux.begin(), aux.end());
  return packet;
}

}  // namespace sim
