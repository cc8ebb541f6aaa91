// Surveys of a known, smooth correction, for checking the fits against it.
#ifndef MOTIONSTAR_TESTS_CALIBRATE_KNOWN_FIELD_H
#define MOTIONSTAR_TESTS_CALIBRATE_KNOWN_FIELD_H

#include <cstdint>
#include <vector>

#include "tools/calibrate/survey_plan.h"

// What is added to a measured position (feet, about an inch across the
// volume), and the rotation (radians, about half a degree) that turns a
// measured orientation into the true one, as functions of the measured
// position.
field::Vec3 knownShift(const field::Vec3& measured);
field::Vec3 knownTurn(const field::Vec3& measured);

// count scattered measured poses in box with random orientations, each
// paired with the true pose the known correction gives.
std::vector<calibrate::SurveyPair> knownSurvey(const field::Box& box, int count, uint32_t seed);

// The same poses with the true pose equal to the measured one.
std::vector<calibrate::SurveyPair> identitySurvey(const field::Box& box, int count, uint32_t seed);

// TraPose of a pair's measured pose.
TraPose measuredPose(const calibrate::SurveyPair& pair);

#endif  // MOTIONSTAR_TESTS_CALIBRATE_KNOWN_FIELD_H
