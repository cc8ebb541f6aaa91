// A static distortion of the tracker's magnetic field, as the steel of a
// room causes it: a sensor at one pose reads another. The field is smooth and
// seeded, so one seed gives the same room every time and on every platform.
//
// The simulated room is a CAVE of about 10 ft seen from the transmitter's
// frame (y up, walls near x, z = +-5 ft, floor about 4 ft below): a global
// distortion that is weak near the transmitter and grows with the square of
// the distance (a few inches and a few degrees at 5 ft), plus two pieces of
// metal outside the room, a steel beam under the floor and a projector behind
// a wall, whose errors are sharper near them and fade as the cube of the
// distance.
//
// Poses are in feet and degrees (azimuth, elevation, roll, with the
// orientation M = Ry(azimuth) Rx(elevation) Rz(roll) of the tracker
// transforms). Nothing here touches a socket: these are pure functions of the
// seed and the pose.
#ifndef MOTIONSTAR_SIM_DISTORTION_H
#define MOTIONSTAR_SIM_DISTORTION_H

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

using Vec3 = std::array<double, 3>;

struct Pose {
  Vec3 position;   // feet
  double azimuth;  // degrees
  double elevation;
  double roll;
};

// A piece of metal: an induced dipole whose field moves positions and turns
// orientations around it, falling off as the cube of the distance.
struct MetalSource {
  Vec3 centre;   // feet
  Vec3 shift;    // feet: moment of the position error (its size at distance reach)
  Vec3 twist;    // degrees: moment of the orientation error
  double reach;  // feet
  double core;   // feet: the error stops growing this close to the centre
};

class FieldDistortion {
 public:
  // strength scales every error; 1 is the default room, 0 no distortion.
  explicit FieldDistortion(uint32_t seed, double strength = 1.0);

  // What a sensor at truePose reports: its position moved by displacement()
  // and its orientation turned by rotation(), both taken at the true position.
  Pose measure(const Pose& truePose) const;

  // Feet added to a position.
  Vec3 displacement(const Vec3& position) const;
  // Rotation vector (axis times angle, radians, in the transmitter's frame)
  // that turns the true orientation into the reported one.
  Vec3 rotation(const Vec3& position) const;

  const std::vector<MetalSource>& sources() const { return sources_; }

 private:
  // One smooth global field: a linear map plus a few long waves, multiplied
  // by (r / 5 ft)^2 so it vanishes at the transmitter.
  struct Wave {
    Vec3 wavenumber;  // radians per foot
    double phase;
    Vec3 amplitude;
  };
  struct GlobalField {
    std::array<Vec3, 3> linear;  // rows
    std::vector<Wave> waves;
  };
  static Vec3 evaluate(const GlobalField& field, const Vec3& position);
  // The global field plus every source's dipole of the given moment, scaled.
  Vec3 total(const GlobalField& global, Vec3 MetalSource::*moment, const Vec3& position,
             double scale) const;

  double strength_;
  GlobalField shift_;  // feet
  GlobalField twist_;  // degrees
  std::vector<MetalSource> sources_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_DISTORTION_H
