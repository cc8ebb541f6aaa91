// What a magnetic tracker can tell of where its sensor is. The field at a
// position and at its mirror image through the transmitter is the same, so
// a unit reports whichever of the two lies in the hemisphere it is set to;
// the orientation reads the same either way. A sensor that strays into the
// other half-space, or a unit set to the wrong hemisphere, shows as
// positions mirrored through the transmitter.
#ifndef MOTIONSTAR_SIM_HEMISPHERE_H
#define MOTIONSTAR_SIM_HEMISPHERE_H

#include <array>
#include <cstdint>

namespace sim {

// The words a unit set to `hemisphereCode` (0 +X, 1 -X, 2 -Z, 3 +Z, 4 -Y,
// 5 +Y; any other code keeps the words) reports for a sensor whose true
// words are `trueWords`: x, y and z negated when the position lies on the
// other side of the hemisphere's plane. A position on the plane is inside.
std::array<int16_t, 6> reportedInHemisphere(const std::array<int16_t, 6>& trueWords,
                                            uint8_t hemisphereCode);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_HEMISPHERE_H
