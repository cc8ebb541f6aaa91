#include "tools/calibrate/simulated_survey.h"

#include <random>

namespace calibrate {

std::vector<SurveyPair> simulatedSurvey(const sim::FieldDistortion& distortion,
                                        const std::vector<PoseRow>& plan,
                                        const ReadingNoise& noise) {
  std::mt19937 engine(noise.seed);
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::vector<SurveyPair> pairs;
  for (const PoseRow& truth : plan) {
    const sim::Pose measured =
        distortion.measure({truth.position, truth.angles[0], truth.angles[1], truth.angles[2]});
    SurveyPair pair{{measured.position, {measured.azimuth, measured.elevation, measured.roll}},
                    truth};
    if (noise.positionInches > 0 || noise.orientationDegrees > 0) {
      Vec3 wobble;
      for (int k = 0; k < 3; ++k) {
        pair.measured.position[k] += gauss(engine) * noise.positionInches / 12.0;
        wobble[k] = gauss(engine) * noise.orientationDegrees * field::kDegToRad;
      }
      const Vec3& a = pair.measured.angles;
      pair.measured.angles =
          field::toAngles(field::fromRotationVector(wobble) * field::fromAngles(a[0], a[1], a[2]));
    }
    pairs.push_back(pair);
  }
  return pairs;
}

}  // namespace calibrate
