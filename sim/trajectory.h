// How the simulated sensors move: a smooth closed loop per sensor, the same
// on every call, so tests predict what the stream carries.
#ifndef MOTIONSTAR_SIM_TRAJECTORY_H
#define MOTIONSTAR_SIM_TRAJECTORY_H

#include <array>
#include <cstdint>

namespace sim {

// The pose words of a sensor in packet `packetIndex`: x, y, z, azimuth,
// elevation, roll. Smooth in the index and distinct per unit.
std::array<int16_t, 6> loopWords(int unitAddress, uint64_t packetIndex);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_TRAJECTORY_H
