#include "sim/trajectory.h"

#include <cmath>

#include "sim/random.h"

namespace sim {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kFullScale = 32767.0;

int16_t word(double value) {
  return static_cast<int16_t>(std::lround(value));
}

// One coordinate of a seeded path: a centre, a slow swing and a quicker
// one, with periods that share no small multiple, so the path does not
// close on itself. Ranges are fractions of the full scale.
struct Channel {
  double centreLow, centreHigh;
  double slowLow, slowHigh;
  double quickLow, quickHigh;
};

// x, y: across the whole width; z: above the transmitter only (centre minus
// both swings stays above 0.08); then azimuth, elevation and roll.
constexpr Channel kChannels[6] = {
    {-0.10, 0.10, 0.25, 0.40, 0.04, 0.10}, {-0.10, 0.10, 0.25, 0.40, 0.04, 0.10},
    {0.30, 0.40, 0.10, 0.15, 0.02, 0.06},  {-0.30, 0.30, 0.30, 0.50, 0.04, 0.10},
    {-0.05, 0.05, 0.10, 0.25, 0.02, 0.06}, {-0.10, 0.10, 0.20, 0.40, 0.03, 0.08},
};

double channelValue(Random& random, const Channel& c, double index) {
  const double centre = random.between(c.centreLow, c.centreHigh);
  const double slow = random.between(c.slowLow, c.slowHigh);
  const double slowPeriod = random.between(1500.0, 4000.0);
  const double quick = random.between(c.quickLow, c.quickHigh);
  const double quickPeriod = random.between(300.0, 900.0);
  const double slowPhase = random.between(0.0, kTwoPi);
  const double quickPhase = random.between(0.0, kTwoPi);
  return centre + slow * std::sin(kTwoPi * index / slowPeriod + slowPhase) +
         quick * std::sin(kTwoPi * index / quickPeriod + quickPhase);
}

}  // namespace

std::array<int16_t, 6> loopWords(int unitAddress, uint64_t packetIndex) {
  // Each sensor runs a closed loop of 3600 packets (36 s at 100 Hz): a
  // circle in x-y, z and the angles on harmonics of the same phase, shifted
  // per unit. The largest step between packets is about 50 counts.
  constexpr uint64_t kPeriod = 3600;
  const double phase = kTwoPi * static_cast<double>(packetIndex % kPeriod) / kPeriod;
  const double u = static_cast<double>(unitAddress);
  return {{word(9000.0 * std::sin(phase + 0.9 * u)), word(9000.0 * std::cos(phase + 0.9 * u)),
           word(3000.0 * std::sin(2.0 * phase + 0.5 * u)),
           word(12000.0 * std::sin(phase + 1.3 * u)),
           word(6000.0 * std::sin(2.0 * phase + 0.7 * u)),
           word(9000.0 * std::cos(3.0 * phase + 0.4 * u))}};
}

std::array<int16_t, 6> trajectoryWords(uint64_t seed, int unitAddress, uint64_t packetIndex) {
  if (seed == 0) return loopWords(unitAddress, packetIndex);
  // The path's shape depends on the seed and the unit only; the index only
  // says where on it the sensor is.
  Random random(seed, static_cast<uint64_t>(unitAddress));
  const double index = static_cast<double>(packetIndex);
  std::array<int16_t, 6> words{};
  for (size_t i = 0; i < 6; ++i) {
    words[i] = word(kFullScale * channelValue(random, kChannels[i], index));
  }
  return words;
}

}  // namespace sim
