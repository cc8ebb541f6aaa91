#include "sim/trajectory.h"

#include <cmath>

namespace sim {

std::array<int16_t, 6> loopWords(int unitAddress, uint64_t packetIndex) {
  // Each sensor runs a closed loop of 3600 packets (36 s at 100 Hz): a
  // circle in x-y, z and the angles on harmonics of the same phase, shifted
  // per unit. The largest step between packets is about 50 counts.
  constexpr uint64_t kPeriod = 3600;
  constexpr double kTwoPi = 6.283185307179586;
  const double phase = kTwoPi * static_cast<double>(packetIndex % kPeriod) / kPeriod;
  const double u = static_cast<double>(unitAddress);
  auto word = [](double value) { return static_cast<int16_t>(std::lround(value)); };
  return {{word(9000.0 * std::sin(phase + 0.9 * u)), word(9000.0 * std::cos(phase + 0.9 * u)),
           word(3000.0 * std::sin(2.0 * phase + 0.5 * u)),
           word(12000.0 * std::sin(phase + 1.3 * u)),
           word(6000.0 * std::sin(2.0 * phase + 0.7 * u)),
           word(9000.0 * std::cos(3.0 * phase + 0.4 * u))}};
}

}  // namespace sim
