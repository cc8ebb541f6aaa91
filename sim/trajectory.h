// How the simulated sensors move. Seed 0 gives every sensor a fixed closed
// loop (what tests have always predicted); any other seed gives every
// sensor of every device a path of its own, the same on every run.
#ifndef MOTIONSTAR_SIM_TRAJECTORY_H
#define MOTIONSTAR_SIM_TRAJECTORY_H

#include <array>
#include <cstdint>

namespace sim {

// The pose words of a sensor in packet `packetIndex`: x, y, z, azimuth,
// elevation, roll. Smooth in the index and distinct per unit.
std::array<int16_t, 6> loopWords(int unitAddress, uint64_t packetIndex);

// The true pose words of a sensor on the paths of `seed` (0: loopWords).
// A seeded path stays in the half-space above the transmitter (z > 0),
// within about half the full-scale range, and wanders without repeating
// for many minutes; neighbouring packets differ by at most about 150
// counts a word.
std::array<int16_t, 6> trajectoryWords(uint64_t seed, int unitAddress, uint64_t packetIndex);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_TRAJECTORY_H
