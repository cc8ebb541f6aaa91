#include "known_field.h"

#include <cmath>

using field::Vec3;

Vec3 knownShift(const Vec3& p) {
  return {0.08 * std::sin(0.5 * p[1]) + 0.01 * p[0] * p[2],
          0.05 * std::cos(0.4 * p[0]) - 0.05 + 0.004 * p[1] * p[1],
          0.003 * p[2] * p[2] - 0.02 * p[0]};
}

Vec3 knownTurn(const Vec3& p) {
  return {0.01 * std::sin(0.3 * p[2]), 0.005 * p[0], 0.008 * std::cos(0.5 * p[1])};
}

std::vector<calibrate::SurveyPair> identitySurvey(const field::Box& box, int count, uint32_t seed) {
  std::vector<calibrate::SurveyPair> pairs;
  for (const calibrate::PoseRow& pose :
       calibrate::scatteredPlan(box, count, calibrate::PlanAngles{true, {0, 0, 0}}, seed)) {
    pairs.push_back({pose, pose});
  }
  return pairs;
}

std::vector<calibrate::SurveyPair> knownSurvey(const field::Box& box, int count, uint32_t seed) {
  std::vector<calibrate::SurveyPair> pairs = identitySurvey(box, count, seed);
  for (calibrate::SurveyPair& pair : pairs) {
    const Vec3& p = pair.measured.position;
    const Vec3 shift = knownShift(p);
    for (int k = 0; k < 3; ++k) pair.truth.position[k] = p[k] + shift[k];
    const Vec3& a = pair.measured.angles;
    pair.truth.angles = field::toAngles(field::fromRotationVector(knownTurn(p)) *
                                        field::fromAngles(a[0], a[1], a[2]));
  }
  return pairs;
}

TraPose measuredPose(const calibrate::SurveyPair& pair) {
  const calibrate::PoseRow& m = pair.measured;
  return {static_cast<float>(m.position[0]), static_cast<float>(m.position[1]),
          static_cast<float>(m.position[2]), static_cast<float>(m.angles[0]),
          static_cast<float>(m.angles[1]),   static_cast<float>(m.angles[2])};
}
