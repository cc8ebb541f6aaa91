// The codes a unit's setup block carries for its hemisphere and its report
// rate: what the device options store and the reports print.
#ifndef MOTIONSTAR_PROTOCOL_UNIT_CODES_H
#define MOTIONSTAR_PROTOCOL_UNIT_CODES_H

#include <cstdint>

namespace proto {

enum class Hemisphere : uint8_t {
  kPlusX = 0,
  kMinusX = 1,
  kMinusZ = 2,
  kPlusZ = 3,
  kMinusY = 4,
  kPlusY = 5,
};

// "+X", "-X", "-Z", "+Z", "-Y" or "+Y"; null for a code outside the list.
inline const char* hemisphereName(uint8_t code) {
  static const char* const kNames[] = {"+X", "-X", "-Z", "+Z", "-Y", "+Y"};
  return code < 6 ? kNames[code] : nullptr;
}

// How many samplings make one report.
enum class ReportRate : uint8_t {
  kEverySampling = 1,
  kEveryOther = 2,
  kEvery8 = 8,
  kEvery32 = 32,
};

}  // namespace proto

#endif  // MOTIONSTAR_PROTOCOL_UNIT_CODES_H
