#include "protocol/data_record.h"

#include "common/byte_order.h"

namespace {

// Nearest single-precision value to 1/32767 (bit pattern 0x38000100).
constexpr float kWordScale = 3.0518509e-05f;
constexpr float kDegreesPerUnit = 180.0f;

// Auxiliary record: bits 3-0 of byte 1 count its 16-bit words; the byte
// after them counts the wand bytes, which start at offset 2.
constexpr size_t kWordCountOffset = 1;
constexpr size_t kWandBytesOffset = 2;

}  // namespace

float decodeWord(uint8_t high, uint8_t low) {
  const uint8_t bytes[2] = {high, low};
  float value = static_cast<float>(readI16be(bytes)) * kWordScale;
  if (value < -1.0f) return -1.0f;
  if (value > 1.0f) return 1.0f;
  return value;
}

TraPose decodeUnitRecord(const uint8_t* record, float positionScale, bool caveCoordinates) {
  TraPose pose;
  pose.x = decodeWord(record[2], record[3]) * positionScale;
  pose.y = decodeWord(record[4], record[5]) * positionScale;
  pose.z = decodeWord(record[6], record[7]) * positionScale;
  pose.azimuth = decodeWord(record[8], record[9]) * kDegreesPerUnit;
  pose.elevation = decodeWord(record[10], record[11]) * kDegreesPerUnit;
  pose.roll = decodeWord(record[12], record[13]) * kDegreesPerUnit;
  if (caveCoordinates) {
    pose.azimuth = -pose.azimuth;
    pose.roll = -pose.roll;
  }
  return pose;
}

WandBytes auxWandBytes(const uint8_t* aux, size_t available) {
  const WandBytes none{aux + kWandBytesOffset, 0};
  if (available <= kWordCountOffset) return none;
  size_t countOffset = 2 * size_t{aux[kWordCountOffset] & 0x0Fu} + 3;
  if (countOffset >= available) return none;
  uint32_t count = aux[countOffset];
  if (kWandBytesOffset + count > available) return none;
  return WandBytes{aux + kWandBytesOffset, count};
}
