// A survey of the simulator's distorted room without the driver in between:
// each true pose of a plan paired with what the distortion makes the sensor
// report, plus optional reading noise (what is left after averaging). The
// tests and the benchmarks measure the fits on it.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_SIMULATED_SURVEY_H
#define MOTIONSTAR_TOOLS_CALIBRATE_SIMULATED_SURVEY_H

#include <cstdint>
#include <vector>

#include "sim/distortion.h"
#include "tools/calibrate/survey_table.h"

namespace calibrate {

struct ReadingNoise {
  double positionInches = 0;      // standard deviation along each axis
  double orientationDegrees = 0;  // standard deviation about each axis
  uint32_t seed = 1;
};

std::vector<SurveyPair> simulatedSurvey(const sim::FieldDistortion& distortion,
                                        const std::vector<PoseRow>& plan,
                                        const ReadingNoise& noise = {});

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_SIMULATED_SURVEY_H
