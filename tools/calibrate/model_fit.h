// A whole correction model from survey pairs: the surveyed volume, a
// position field and an orientation field, and the errors that remain when
// the model corrects pairs, measured exactly as the calibration library
// corrects poses.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_MODEL_FIT_H
#define MOTIONSTAR_TOOLS_CALIBRATE_MODEL_FIT_H

#include <cstdint>
#include <string>
#include <vector>

#include "calib/field/field_model.h"
#include "tools/calibrate/survey_table.h"

namespace calibrate {

// Per pair: how far the (corrected) measured pose is from the true one.
struct PoseErrors {
  std::vector<Vec3> offset;         // inches, the (corrected) measured position minus the true one
  std::vector<double> position;     // inches, the length of offset
  std::vector<double> orientation;  // degrees, the angle of the rotation between them
};

struct ErrorSummary {
  double positionRms = 0, positionMax = 0;        // inches
  double orientationRms = 0, orientationMax = 0;  // degrees
};

// model null: the pairs as measured.
PoseErrors poseErrors(const field::FieldModel* model, const std::vector<SurveyPair>& pairs);
ErrorSummary summarise(const PoseErrors& errors);

// The box around the measured positions. False (with *error) when the
// survey spans no volume.
bool surveyVolume(const std::vector<SurveyPair>& pairs, field::Box* volume, std::string* error);

struct ModelFit {
  field::FieldModel model;
  std::string positionSetting;
  std::string orientationSetting;
};

// Fits both fields over the volume. False (with *error) when a fit fails.
bool fitModel(const std::vector<SurveyPair>& pairs, const field::Box& volume,
              field::Method positionMethod, field::Method orientationMethod, ModelFit* fit,
              std::string* error);

// k-fold cross-validation of one method for both fields: each pair is
// corrected by a model fitted without its fold. Fills *errors in pair order.
bool crossValidate(const std::vector<SurveyPair>& pairs, const field::Box& volume,
                   field::Method method, int folds, uint32_t seed, PoseErrors* errors,
                   std::string* error);

struct MethodScore {
  field::Method method;
  bool fitted;  // false: *error says why the method failed
  ErrorSummary crossValidated;
  std::string error;
};

// crossValidate for each method, in order.
std::vector<MethodScore> scoreMethods(const std::vector<SurveyPair>& pairs,
                                      const field::Box& volume,
                                      const std::vector<field::Method>& methods, int folds,
                                      uint32_t seed);

// Position and orientation each take the fitted method with the smaller
// cross-validated RMS error. False when no method was fitted.
bool chooseMethods(const std::vector<MethodScore>& scores, field::Method* position,
                   field::Method* orientation);

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_MODEL_FIT_H
