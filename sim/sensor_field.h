// Where a simulated sensor is and what it reports there: the pose its path
// gives, or one it was placed at, seen through the room's distortion when
// the room has one.
//
// Poses here are those the driver publishes without transforms: feet and
// degrees in the transmitter's frame. A unit's status block says how they
// map to its words: the full-scale range its scaling word selects, and
// whether the driver's setup wrote the CAVE alignment (then the driver
// negates azimuth and roll, so the words carry them negated).
#ifndef MOTIONSTAR_SIM_SENSOR_FIELD_H
#define MOTIONSTAR_SIM_SENSOR_FIELD_H

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/distortion.h"

namespace sim {

// The room's distortion as the simulator is told it (mstar-sim --distortion).
struct DistortionSetting {
  bool on = false;
  uint32_t seed = 1;
  double strength = 1.0;  // 1: the default room
};

// "SEED[,STRENGTH]": a seed of 0 .. 4294967295 and a strength of 0 .. 10
// (default 1). False, with *why, for anything else.
bool parseDistortion(const std::string& text, DistortionSetting* setting, std::string* why);

// How a unit's words stand for a pose.
struct WordFrame {
  double scale = 12.0;      // feet at full scale
  bool caveAngles = false;  // azimuth and roll carried negated
};

// The frame of a unit block as it stands; an empty block gives the
// frame of a unit the driver set up with its defaults.
WordFrame wordFrame(const std::vector<uint8_t>& unitBlock);
Pose poseOfWords(const std::array<int16_t, 6>& words, const WordFrame& frame);
// Rounded to the nearest count; positions beyond full scale saturate.
std::array<int16_t, 6> wordsOfPose(const Pose& pose, const WordFrame& frame);

// Why a sensor cannot be placed at `pose` in `frame`; empty when it can.
std::string placementProblem(const Pose& pose, const WordFrame& frame);

class SensorField {
 public:
  explicit SensorField(const DistortionSetting& distortion);

  void place(int address, const Pose& truePose) { placed_[address] = truePose; }
  void release(int address) { placed_.erase(address); }

  // Whether the sensor reports anything but its path's words.
  bool changes(int address) const { return distortion_ || placed_.count(address) != 0; }
  // The words unit `address` reports in packet `packetIndex` while its path
  // puts it at pathWords, its block being unitBlock. A placed sensor is
  // held still and reads as a still sensor does: its words jitter by a few
  // counts from packet to packet (the same on every run), so the driver,
  // which publishes only changed poses, keeps publishing it.
  std::array<int16_t, 6> reportedWords(int address, uint64_t packetIndex,
                                       const std::array<int16_t, 6>& pathWords,
                                       const std::vector<uint8_t>& unitBlock) const;

 private:
  std::optional<FieldDistortion> distortion_;
  std::map<int, Pose> placed_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_SENSOR_FIELD_H
