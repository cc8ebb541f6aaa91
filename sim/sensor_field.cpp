#include "sim/sensor_field.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "sim/packets.h"
#include "sim/random.h"

namespace sim {
namespace {

constexpr double kFullScaleWord = 32767.0;
// Standard deviation of a still sensor's words: 0.013 in at 12 ft full
// scale, 0.016 degrees.
constexpr double kJitterCounts = 3.0;

int16_t wordAt(const std::vector<uint8_t>& block, size_t offset) {
  return static_cast<int16_t>(static_cast<uint16_t>(block[offset] << 8 | block[offset + 1]));
}

int16_t toWord(double normalised) {
  const double word = std::round(normalised * kFullScaleWord);
  if (word > 32767.0) return 32767;
  if (word < -32768.0) return -32768;
  return static_cast<int16_t>(word);
}

// Into -180 .. 180.
double wrapDegrees(double angle) {
  return angle - 360.0 * std::round(angle / 360.0);
}

}  // namespace

bool parseDistortion(const std::string& text, DistortionSetting* setting, std::string* why) {
  const size_t comma = text.find(',');
  const std::string seedText = text.substr(0, comma);
  char* end = nullptr;
  errno = 0;
  const unsigned long long seed = std::strtoull(seedText.c_str(), &end, 10);
  if (seedText.empty() || seedText[0] == '-' || *end != '\0' || errno != 0 ||
      seed > 0xFFFFFFFFull) {
    *why = "the seed must be a whole number from 0 to 4294967295, not '" + seedText + "'";
    return false;
  }
  double strength = 1.0;
  if (comma != std::string::npos) {
    const std::string strengthText = text.substr(comma + 1);
    strength = std::strtod(strengthText.c_str(), &end);
    if (strengthText.empty() || *end != '\0' || !(strength >= 0 && strength <= 10)) {
      *why = "the strength must be a number from 0 to 10, not '" + strengthText + "'";
      return false;
    }
  }
  *setting = {true, static_cast<uint32_t>(seed), strength};
  return true;
}

WordFrame wordFrame(const std::vector<uint8_t>& block) {
  WordFrame frame;
  if (block.size() < kUnitBlockSize) return {12.0, true};
  // The scaling words the driver knows; it keeps 12 ft for any other.
  const uint16_t scaling =
      static_cast<uint16_t>(block[kScalingOffset] << 8 | block[kScalingOffset + 1]);
  if (scaling == 36 || scaling == 72 || scaling == 144 || scaling == 288)
    frame.scale = scaling / 12.0;
  frame.caveAngles = wordAt(block, kAnglesOffset) == 16383 &&
                     wordAt(block, kAnglesOffset + 2) == 0 &&
                     wordAt(block, kAnglesOffset + 4) == -16384;
  return frame;
}

Pose poseOfWords(const std::array<int16_t, 6>& w, const WordFrame& frame) {
  const double sign = frame.caveAngles ? -1.0 : 1.0;
  return {{w[0] / kFullScaleWord * frame.scale, w[1] / kFullScaleWord * frame.scale,
           w[2] / kFullScaleWord * frame.scale},
          sign * w[3] / kFullScaleWord * 180.0,
          w[4] / kFullScaleWord * 180.0,
          sign * w[5] / kFullScaleWord * 180.0};
}

std::array<int16_t, 6> wordsOfPose(const Pose& pose, const WordFrame& frame) {
  const double sign = frame.caveAngles ? -1.0 : 1.0;
  return {{toWord(pose.position[0] / frame.scale), toWord(pose.position[1] / frame.scale),
           toWord(pose.position[2] / frame.scale), toWord(sign * wrapDegrees(pose.azimuth) / 180.0),
           toWord(pose.elevation / 180.0), toWord(sign * wrapDegrees(pose.roll) / 180.0)}};
}

std::string placementProblem(const Pose& pose, const WordFrame& frame) {
  for (double v : {pose.position[0], pose.position[1], pose.position[2], pose.azimuth,
                   pose.elevation, pose.roll}) {
    if (!std::isfinite(v)) return "every number must be finite";
  }
  for (double v : pose.position) {
    if (std::fabs(v) > frame.scale) {
      return "a position beyond the unit's full-scale range of " +
             std::to_string(static_cast<int>(frame.scale)) + " ft";
    }
  }
  if (std::fabs(pose.elevation) > 90.0) return "an elevation beyond -90 .. 90 degrees";
  return "";
}

SensorField::SensorField(const DistortionSetting& distortion) {
  if (distortion.on) distortion_.emplace(distortion.seed, distortion.strength);
}

std::array<int16_t, 6> SensorField::reportedWords(int address, uint64_t packetIndex,
                                                  const std::array<int16_t, 6>& pathWords,
                                                  const std::vector<uint8_t>& unitBlock) const {
  const auto placed = placed_.find(address);
  const WordFrame frame = wordFrame(unitBlock);
  const Pose truth = placed != placed_.end() ? placed->second : poseOfWords(pathWords, frame);
  std::array<int16_t, 6> words =
      wordsOfPose(distortion_ ? distortion_->measure(truth) : truth, frame);
  if (placed == placed_.end()) return words;
  Random random(packetIndex, static_cast<uint64_t>(address));
  for (int16_t& word : words) {
    // Nearly normal, with a spread of kJitterCounts.
    const double noise = random.between(-1, 1) + random.between(-1, 1) + random.between(-1, 1);
    const long jittered = word + std::lround(noise * kJitterCounts);
    word = static_cast<int16_t>(std::max(-32768L, std::min(32767L, jittered)));
  }
  return words;
}

}  // namespace sim
