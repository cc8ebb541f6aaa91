#include "common/records.h"

#include <cstring>

#include "common/byte_order.h"
#include "platform/platform.h"

namespace records {
namespace {

uint32_t storedCount(uint32_t field) {
  return fromBigEndian32(field);
}

int32_t scaled(float value, double scale) {
  // Truncation toward zero; out-of-range values saturate and NaN gives 0
  // instead of an undefined conversion.
  const double product = static_cast<double>(value) * scale;
  if (product >= 2147483647.0) return INT32_MAX;
  if (product <= -2147483648.0) return INT32_MIN;
  return product == product ? static_cast<int32_t>(product) : 0;
}

}  // namespace

void stampTime(RecordHeader& header, HostTimeStamp& stamp) {
  platform::WallClock now = platform::wallClockNow();
  stamp.seconds = now.seconds;
  stamp.milliseconds = now.milliseconds;
  stamp.timezoneMinutes = now.timezoneMinutes;
  stamp.dstFlag = now.dstFlag;
  header.seconds = toBigEndian32(now.seconds);
  header.microseconds = toBigEndian32(uint32_t{now.milliseconds} * 1000u);
}

void traCreate(TraData& record) {
  std::memset(&record.header, 0, sizeof record.header);
  std::memset(record.pose, 0, sizeof record.pose);
}

bool traSetId(TraData& record, uint32_t id) {
  if (id < 1 || id > kMaxElements) return false;
  record.header.id = toBigEndian32(id);
  return true;
}

void traSetPose(TraData& record, const float pose[6]) {
  for (int i = 0; i < 6; ++i) {
    record.pose[i] =
        static_cast<int32_t>(toBigEndian32(static_cast<uint32_t>(scaled(pose[i], kPoseScale))));
  }
}

bool traEqual(const TraData& a, const TraData& b) {
  // Equal scaled integers read back to equal reals, and only then.
  return std::memcmp(a.pose, b.pose, sizeof a.pose) == 0;
}

void conReset(ConData& record) {
  std::memset(&record.header, 0, sizeof record.header);
  record.valuatorCount = 0;
  record.buttonCount = 0;
  std::memset(record.valuators, 0, sizeof record.valuators);
  std::memset(record.buttons, 0, sizeof record.buttons);
  record.buttonByteCount = 4;
}

bool conSetId(ConData& record, uint32_t id) {
  if (id < 1 || id > kMaxElements) return false;
  record.header.id = toBigEndian32(id);
  return true;
}

bool conSetValuatorCount(ConData& record, uint32_t count) {
  record.headerSize = toBigEndian32(36);
  if (count > kMaxElements) return false;
  record.valuatorCount = toBigEndian32(count);
  return true;
}

bool conSetButtonCount(ConData& record, uint32_t count) {
  record.valuatorEnd = toBigEndian32(36 + 4 * storedCount(record.valuatorCount));
  if (count > kMaxElements) return false;
  record.buttonCount = toBigEndian32(count);
  return true;
}

bool conSetValuator(ConData& record, uint32_t index, float value) {
  if (index < 1 || index > storedCount(record.valuatorCount) || index > kMaxElements) return false;
  record.valuators[index - 1] =
      static_cast<int32_t>(toBigEndian32(static_cast<uint32_t>(scaled(value, kValuatorScale))));
  return true;
}

bool conSetButton(ConData& record, uint32_t index, int state) {
  if (index < 1 || index > kMaxElements) return false;
  uint32_t byte = (index - 1) / 8;
  if (byte >= record.buttonByteCount || byte >= sizeof record.buttons) return false;
  if (index > storedCount(record.buttonCount)) return false;
  uint8_t bit = static_cast<uint8_t>(1u << ((index - 1) % 8));
  if (state > 0) {
    record.buttons[byte] |= bit;
  } else {
    record.buttons[byte] &= static_cast<uint8_t>(~bit);
  }
  return true;
}

bool conEqual(const ConData& a, const ConData& b) {
  if (a.valuatorCount != b.valuatorCount || a.buttonCount != b.buttonCount) return false;
  uint32_t valuators = storedCount(a.valuatorCount);
  if (valuators > kMaxElements) valuators = kMaxElements;
  for (uint32_t i = 0; i < valuators; ++i) {
    if (a.valuators[i] != b.valuators[i]) return false;
  }
  uint32_t bytes = a.buttonByteCount < 4 ? a.buttonByteCount : 4;
  return std::memcmp(a.buttons, b.buttons, bytes) == 0;
}

void maskClear(uint8_t mask[4]) {
  std::memset(mask, 0, 4);
}

bool maskMark(uint8_t mask[4], uint32_t id) {
  if (id < 1 || id > kMaxElements) return false;
  mask[3 - (id - 1) / 8] |= static_cast<uint8_t>(1u << ((id - 1) % 8));
  return true;
}

}  // namespace records
