// The simulator's random numbers: a small generator of its own (SplitMix64),
// so a seed gives the same paths and wand on every platform and standard
// library, which the standard distributions do not promise.
#ifndef MOTIONSTAR_SIM_RANDOM_H
#define MOTIONSTAR_SIM_RANDOM_H

#include <cstdint>

namespace sim {

class Random {
 public:
  // One stream per seed and `stream` (a sensor's address, say).
  Random(uint64_t seed, uint64_t stream)
      : state_(seed * 0x9E3779B97F4A7C15ull ^ (stream + 1) * 0xD1B54A32D192ED03ull) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high).
  double between(double low, double high) {
    return low + (high - low) * static_cast<double>(next() >> 11) * 0x1.0p-53;
  }
  // Uniform in [low, high], whole numbers.
  int pick(int low, int high) {
    return low + static_cast<int>(next() % static_cast<uint64_t>(high - low + 1));
  }

 private:
  uint64_t state_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_RANDOM_H
