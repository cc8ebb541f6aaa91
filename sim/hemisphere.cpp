#include "sim/hemisphere.h"

#include <cstddef>

namespace sim {

std::array<int16_t, 6> reportedInHemisphere(const std::array<int16_t, 6>& trueWords,
                                            uint8_t hemisphereCode) {
  // The axis each code faces along (x 0, y 1, z 2) and its direction.
  struct Facing {
    int axis;
    int sign;
  };
  static constexpr Facing kFacing[6] = {{0, 1}, {0, -1}, {2, -1}, {2, 1}, {1, -1}, {1, 1}};
  if (hemisphereCode >= 6) return trueWords;
  const Facing facing = kFacing[hemisphereCode];
  if (trueWords[static_cast<size_t>(facing.axis)] * facing.sign >= 0) return trueWords;
  std::array<int16_t, 6> words = trueWords;
  for (size_t i = 0; i < 3; ++i) {
    // -32768 has no mirror in 16 bits; the nearest is 32767.
    words[i] = static_cast<int16_t>(words[i] == INT16_MIN ? INT16_MAX : -words[i]);
  }
  return words;
}

}  // namespace sim
