// The three fits against corrections whose truth is known.
#include "tools/calibrate/model_fit.h"

#include <gtest/gtest.h>

#include <cstring>

#include "known_field.h"
#include "sim/distortion.h"
#include "tools/calibrate/simulated_survey.h"

namespace {

using field::Method;

const field::Box kBox{{-3, -3, -3}, {3, 3, 3}};
// Held-out poses well inside the surveyed volume.
const field::Box kInside{{-2.5, -2.5, -2.5}, {2.5, 2.5, 2.5}};

calibrate::ModelFit fitted(const std::vector<calibrate::SurveyPair>& pairs, Method position,
                           Method orientation) {
  field::Box volume;
  calibrate::ModelFit fit;
  std::string error;
  EXPECT_TRUE(calibrate::surveyVolume(pairs, &volume, &error)) << error;
  EXPECT_TRUE(calibrate::fitModel(pairs, volume, position, orientation, &fit, &error)) << error;
  return fit;
}

struct Tolerance {
  Method method;
  double positionRms, positionMax;        // inches
  double orientationRms, orientationMax;  // degrees
};

TEST(Fit, EachMethodReproducesAKnownSmoothFieldOnHeldOutPoses) {
  // About an inch and half a degree to correct; what each method leaves of
  // it on poses it was not fitted to. The look-up table interpolates
  // linearly between nodes, so it leaves most.
  const std::vector<calibrate::SurveyPair> survey = knownSurvey(kBox, 100, 1);
  const std::vector<calibrate::SurveyPair> heldOut = knownSurvey(kInside, 300, 2);
  const calibrate::ErrorSummary before =
      calibrate::summarise(calibrate::poseErrors(nullptr, heldOut));
  ASSERT_GT(before.positionRms, 0.5);
  ASSERT_GT(before.orientationRms, 0.3);
  for (const Tolerance& t : {Tolerance{Method::kLut, 0.05, 0.15, 0.02, 0.06},
                             Tolerance{Method::kPoly, 0.01, 0.03, 0.002, 0.005},
                             Tolerance{Method::kRbf, 0.015, 0.08, 0.004, 0.012}}) {
    const calibrate::ModelFit fit = fitted(survey, t.method, t.method);
    const calibrate::ErrorSummary after =
        calibrate::summarise(calibrate::poseErrors(&fit.model, heldOut));
    const char* name = field::methodName(t.method);
    EXPECT_LT(after.positionRms, t.positionRms) << name;
    EXPECT_LT(after.positionMax, t.positionMax) << name;
    EXPECT_LT(after.orientationRms, t.orientationRms) << name;
    EXPECT_LT(after.orientationMax, t.orientationMax) << name;
  }
}

TEST(Fit, AnIdentitySurveyGivesAModelThatChangesNothing) {
  const std::vector<calibrate::SurveyPair> survey = identitySurvey(kBox, 60, 3);
  const std::vector<calibrate::SurveyPair> poses = identitySurvey(kInside, 100, 4);
  for (Method method : {Method::kLut, Method::kPoly, Method::kRbf}) {
    const calibrate::ModelFit fit = fitted(survey, method, method);
    for (const calibrate::SurveyPair& pair : poses) {
      TraPose pose = measuredPose(pair);
      const TraPose before = pose;
      field::correctPose(fit.model, pose);
      ASSERT_EQ(std::memcmp(&pose, &before, sizeof pose), 0) << field::methodName(method);
    }
  }
}

TEST(Fit, AGridOfThreeHeightsGivesNoPolynomialThatSwingsBetweenThem) {
  // Only the planes are surveyed, so the cross-validation sees no error
  // between them; a cubic in the height would fit the planes and swing in
  // between.
  const sim::FieldDistortion room(1);
  const field::Box box{{-4, -3, -4}, {4, 3, 4}};
  const calibrate::PlanAngles random{true, {0, 0, 0}};
  const std::vector<calibrate::SurveyPair> survey =
      calibrate::simulatedSurvey(room, calibrate::gridPlan(box, {6, 3, 5}, random, 1));
  const calibrate::ModelFit fit = fitted(survey, Method::kPoly, Method::kPoly);
  std::vector<calibrate::SurveyPair> between;
  for (const calibrate::SurveyPair& pair : calibrate::simulatedSurvey(
           room, calibrate::scatteredPlan({{-3.5, -2.5, -3.5}, {3.5, 2.5, 3.5}}, 400, random, 2))) {
    if (std::fmod(std::abs(pair.truth.position[1]), 3.0) > 0.5) between.push_back(pair);
  }
  ASSERT_GT(between.size(), 200u);
  const calibrate::ErrorSummary before =
      calibrate::summarise(calibrate::poseErrors(nullptr, between));
  const calibrate::ErrorSummary after =
      calibrate::summarise(calibrate::poseErrors(&fit.model, between));
  EXPECT_LT(after.positionRms, 0.4 * before.positionRms);
}

TEST(Fit, CrossValidationCorrectsEachPairByAFitThatNeverSawIt) {
  // One pair measured 3 inches off the known correction. The radial
  // functions nearly interpolate: a fit that saw the pair would reproduce
  // it, the fits of the other folds cannot.
  std::vector<calibrate::SurveyPair> survey = knownSurvey(kBox, 80, 5);
  constexpr size_t kOdd = 40;
  survey[kOdd].truth.position[0] += 0.25;
  field::Box volume;
  std::string error;
  ASSERT_TRUE(calibrate::surveyVolume(survey, &volume, &error));
  calibrate::PoseErrors errors;
  ASSERT_TRUE(calibrate::crossValidate(survey, volume, Method::kRbf, 5, 1, &errors, &error))
      << error;
  const calibrate::ModelFit all = fitted(survey, Method::kRbf, Method::kRbf);
  EXPECT_LT(calibrate::poseErrors(&all.model, {survey[kOdd]}).position[0], 0.5);
  EXPECT_GT(errors.position[kOdd], 2.5);
}

}  // namespace
