// The records mstar-host publishes to render nodes over ZeroMQ, and the
// encoder and decoder a client includes. Standard library only.
//
// Every message has two frames, a topic and one record:
//
//   <device>/tracker/<id>      a tracker's pose, each time it changes
//   <device>/controller/<id>   a wand's valuators and buttons, each time they change
//   <device>/status            the device's state, each time it changes
//
// A record is written byte by byte, little-endian, so it reads the same on
// every machine; reals are IEEE 754 doubles. The header, 64 bytes:
//
//   offset size  field
//    0      1    version, 1
//    1      1    kind: 1 tracker, 2 controller, 3 status
//    2      1    flags: bit 0 set on a replay of the topic's last record, sent
//                because a subscriber joined; the other bits are 0
//    3      1    length of the device name, 0 to 32
//    4      4    output ID, 1 to 32 (0 in a status record)
//    8      8    publication time: microseconds since 1970-01-01 UTC, host clock
//   16      4    sequence number within the topic: 1 for the first record, one
//                more for each new one; a replay repeats its record's number
//   20      4    device time stamp: seconds since 1970-01-01 UTC
//   24      2    device time stamp: milliseconds within that second
//   26      2    reserved, 0
//   28     32    device name, padded with zero bytes
//   60      4    reserved, 0
//
// Tracker body, record 112 bytes:
//   64     48    x, y, z (feet), azimuth, elevation, roll (degrees)
// Controller body, record 328 bytes:
//   64      1    number of valuators, 0 to 32
//   65      1    number of buttons, 0 to 32
//   66      2    reserved, 0
//   68      4    buttons: button b (1-based) is bit b-1; 1 = pressed
//   72    256    valuators 1 to 32; those past the count are 0
// Status body, record 96 bytes (the time stamp is when the state began):
//   64      1    state: 1 starting, 2 streaming, 3 stale, 4 lost,
//                5 recovering, 6 stopped
//   65      3    reserved, 0
//   68      4    dropouts: times the stream went stale or was lost
//   72      4    recoveries: times it came back
//   76      4    reserved, 0
//   80      8    packets read
//   88      8    failed reads
//
// A change of layout changes the version; decode() refuses other versions.
#ifndef MOTIONSTAR_STREAM_H
#define MOTIONSTAR_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace motionstar {
namespace stream {

constexpr uint8_t kVersion = 1;
constexpr uint8_t kFlagReplay = 0x01;
constexpr size_t kHeaderSize = 64;
constexpr size_t kMaxDeviceName = 32;
constexpr uint32_t kMaxId = 32;
constexpr uint8_t kMaxValuators = 32;
constexpr uint8_t kMaxButtons = 32;

enum class Kind : uint8_t { kTracker = 1, kController = 2, kStatus = 3 };

enum class DeviceState : uint8_t {
  kStarting = 1,
  kStreaming = 2,
  kStale = 3,
  kLost = 4,
  kRecovering = 5,
  kStopped = 6,
};

// Bytes of a record of `kind`; 0 for a kind this version does not know.
constexpr size_t recordSize(Kind kind) {
  return kind == Kind::kTracker      ? kHeaderSize + 48
         : kind == Kind::kController ? kHeaderSize + 8 + 8 * kMaxValuators
         : kind == Kind::kStatus     ? kHeaderSize + 32
                                     : 0;
}
constexpr size_t kMaxRecordSize = recordSize(Kind::kController);

// One record, decoded. Fields of the other kinds are left as they are.
struct Record {
  Kind kind = Kind::kTracker;
  uint8_t flags = 0;
  char device[kMaxDeviceName + 1] = {};  // zero-terminated
  uint32_t id = 0;
  uint64_t publishedMicroseconds = 0;
  uint32_t sequence = 0;
  uint32_t stampSeconds = 0;
  uint16_t stampMilliseconds = 0;
  // kTracker
  double pose[6] = {};
  // kController
  uint8_t valuatorCount = 0;
  uint8_t buttonCount = 0;
  uint32_t buttons = 0;
  double valuators[kMaxValuators] = {};
  // kStatus
  DeviceState state = DeviceState::kStarting;
  uint32_t dropouts = 0;
  uint32_t recoveries = 0;
  uint64_t packets = 0;
  uint64_t failures = 0;
};

enum class DecodeError : uint8_t {
  kNone,
  kTooShort,    // fewer bytes than a record header
  kVersion,     // another version of the layout
  kKind,        // a kind this version does not know
  kSize,        // not the size of a record of its kind
  kDeviceName,  // name length over 32
  kId,          // output ID outside 1..32 (or not 0 in a status record)
  kCount,       // more than 32 valuators or buttons
  kState,       // unknown device state
};

inline const char* describe(DecodeError error) {
  switch (error) {
    case DecodeError::kNone:
      return "a record";
    case DecodeError::kTooShort:
      return "shorter than a record header";
    case DecodeError::kVersion:
      return "a record version this decoder does not read";
    case DecodeError::kKind:
      return "an unknown record kind";
    case DecodeError::kSize:
      return "not the size of a record of its kind";
    case DecodeError::kDeviceName:
      return "a device name longer than 32 bytes";
    case DecodeError::kId:
      return "an output ID out of range";
    case DecodeError::kCount:
      return "more than 32 valuators or buttons";
    case DecodeError::kState:
      return "an unknown device state";
  }
  return "an unknown decoding error";
}

inline const char* stateName(DeviceState state) {
  switch (state) {
    case DeviceState::kStarting:
      return "starting";
    case DeviceState::kStreaming:
      return "streaming";
    case DeviceState::kStale:
      return "stale";
    case DeviceState::kLost:
      return "lost";
    case DeviceState::kRecovering:
      return "recovering";
    case DeviceState::kStopped:
      return "stopped";
  }
  return "unknown";
}

// The topic a record is published under.
inline std::string topicOf(const Record& record) {
  std::string topic(record.device);
  switch (record.kind) {
    case Kind::kTracker:
      return topic + "/tracker/" + std::to_string(record.id);
    case Kind::kController:
      return topic + "/controller/" + std::to_string(record.id);
    case Kind::kStatus:
      break;
  }
  return topic + "/status";
}

namespace detail {

static_assert(std::numeric_limits<double>::is_iec559, "doubles travel as IEEE 754");

inline void put(uint8_t* p, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline uint64_t get(const uint8_t* p, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= uint64_t{p[i]} << (8 * i);
  return value;
}
inline void putDouble(uint8_t* p, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  put(p, bits, 8);
}
inline double getDouble(const uint8_t* p) {
  const uint64_t bits = get(p, 8);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
inline bool validState(uint8_t state) {
  return state >= static_cast<uint8_t>(DeviceState::kStarting) &&
         state <= static_cast<uint8_t>(DeviceState::kStopped);
}
inline bool validId(Kind kind, uint32_t id) {
  return kind == Kind::kStatus ? id == 0 : id >= 1 && id <= kMaxId;
}

}  // namespace detail

// Writes `record` into out[0..capacity) and returns the bytes written; 0 when
// the record breaks the layout's limits or does not fit.
inline size_t encode(const Record& record, uint8_t* out, size_t capacity) {
  const size_t size = recordSize(record.kind);
  const void* end = std::memchr(record.device, '\0', sizeof record.device);
  if (size == 0 || size > capacity || end == nullptr || !detail::validId(record.kind, record.id)) {
    return 0;
  }
  if (record.kind == Kind::kController &&
      (record.valuatorCount > kMaxValuators || record.buttonCount > kMaxButtons)) {
    return 0;
  }
  if (record.kind == Kind::kStatus && !detail::validState(static_cast<uint8_t>(record.state))) {
    return 0;
  }
  const size_t nameLength = static_cast<size_t>(static_cast<const char*>(end) - record.device);
  std::memset(out, 0, size);
  out[0] = kVersion;
  out[1] = static_cast<uint8_t>(record.kind);
  out[2] = record.flags;
  out[3] = static_cast<uint8_t>(nameLength);
  detail::put(out + 4, record.id, 4);
  detail::put(out + 8, record.publishedMicroseconds, 8);
  detail::put(out + 16, record.sequence, 4);
  detail::put(out + 20, record.stampSeconds, 4);
  detail::put(out + 24, record.stampMilliseconds, 2);
  std::memcpy(out + 28, record.device, nameLength);
  uint8_t* body = out + kHeaderSize;
  switch (record.kind) {
    case Kind::kTracker:
      for (int i = 0; i < 6; ++i) detail::putDouble(body + 8 * i, record.pose[i]);
      break;
    case Kind::kController:
      body[0] = record.valuatorCount;
      body[1] = record.buttonCount;
      detail::put(body + 4, record.buttons, 4);
      for (int i = 0; i < record.valuatorCount; ++i) {
        detail::putDouble(body + 8 + 8 * i, record.valuators[i]);
      }
      break;
    case Kind::kStatus:
      body[0] = static_cast<uint8_t>(record.state);
      detail::put(body + 4, record.dropouts, 4);
      detail::put(body + 8, record.recoveries, 4);
      detail::put(body + 16, record.packets, 8);
      detail::put(body + 24, record.failures, 8);
      break;
  }
  return size;
}

// Reads one record from data[0..size). Anything that is not a whole record
// of this version is refused with the reason; nothing past `size` is read.
inline DecodeError decode(const uint8_t* data, size_t size, Record* record) {
  if (size < kHeaderSize) return DecodeError::kTooShort;
  if (data[0] != kVersion) return DecodeError::kVersion;
  const Kind kind = static_cast<Kind>(data[1]);
  if (recordSize(kind) == 0) return DecodeError::kKind;
  if (size != recordSize(kind)) return DecodeError::kSize;
  if (data[3] > kMaxDeviceName) return DecodeError::kDeviceName;
  const uint32_t id = static_cast<uint32_t>(detail::get(data + 4, 4));
  if (!detail::validId(kind, id)) return DecodeError::kId;
  const uint8_t* body = data + kHeaderSize;
  if (kind == Kind::kController && (body[0] > kMaxValuators || body[1] > kMaxButtons)) {
    return DecodeError::kCount;
  }
  if (kind == Kind::kStatus && !detail::validState(body[0])) return DecodeError::kState;

  Record out;
  out.kind = kind;
  out.flags = data[2];
  std::memcpy(out.device, data + 28, data[3]);
  out.id = id;
  out.publishedMicroseconds = detail::get(data + 8, 8);
  out.sequence = static_cast<uint32_t>(detail::get(data + 16, 4));
  out.stampSeconds = static_cast<uint32_t>(detail::get(data + 20, 4));
  out.stampMilliseconds = static_cast<uint16_t>(detail::get(data + 24, 2));
  switch (kind) {
    case Kind::kTracker:
      for (int i = 0; i < 6; ++i) out.pose[i] = detail::getDouble(body + 8 * i);
      break;
    case Kind::kController:
      out.valuatorCount = body[0];
      out.buttonCount = body[1];
      out.buttons = static_cast<uint32_t>(detail::get(body + 4, 4));
      for (int i = 0; i < out.valuatorCount; ++i) {
        out.valuators[i] = detail::getDouble(body + 8 + 8 * i);
      }
      break;
    case Kind::kStatus:
      out.state = static_cast<DeviceState>(body[0]);
      out.dropouts = static_cast<uint32_t>(detail::get(body + 4, 4));
      out.recoveries = static_cast<uint32_t>(detail::get(body + 8, 4));
      out.packets = detail::get(body + 16, 8);
      out.failures = detail::get(body + 24, 8);
      break;
  }
  *record = out;
  return DecodeError::kNone;
}

}  // namespace stream
}  // namespace motionstar

#endif  // MOTIONSTAR_STREAM_H
