#include "tools/calibrate/model_fit.h"

#include <algorithm>
#include <cmath>

#include "tools/calibrate/field_fit.h"

namespace calibrate {

namespace {

field::Quaternion orientationOf(const Vec3& angles) {
  return field::fromAngles(angles[0], angles[1], angles[2]);
}

// One less than the number of distinct true coordinates along each axis: a
// grid survey's planes. Coordinates closer than this are one plane.
constexpr double kSamePlane = 0.05;  // feet

std::array<int, 3> determinedPowers(const std::vector<SurveyPair>& pairs) {
  std::array<int, 3> powers;
  for (int a = 0; a < 3; ++a) {
    std::vector<double> values;
    for (const SurveyPair& pair : pairs) values.push_back(pair.truth.position[a]);
    std::sort(values.begin(), values.end());
    int planes = values.empty() ? 0 : 1;
    for (size_t i = 1; i < values.size(); ++i) planes += values[i] - values[i - 1] > kSamePlane;
    powers[a] = std::clamp(planes - 1, 0, field::PolyField::kMaxDegree);
  }
  return powers;
}

}  // namespace

PoseErrors poseErrors(const field::FieldModel* model, const std::vector<SurveyPair>& pairs) {
  PoseErrors errors;
  for (const SurveyPair& pair : pairs) {
    // Through a TraPose, in single precision, as the driver hands it over.
    const PoseRow& m = pair.measured;
    TraPose pose{static_cast<float>(m.position[0]), static_cast<float>(m.position[1]),
                 static_cast<float>(m.position[2]), static_cast<float>(m.angles[0]),
                 static_cast<float>(m.angles[1]),   static_cast<float>(m.angles[2])};
    if (model != nullptr) field::correctPose(*model, pose);
    const Vec3& t = pair.truth.position;
    const double dx = pose.x - t[0], dy = pose.y - t[1], dz = pose.z - t[2];
    errors.offset.push_back({dx * 12.0, dy * 12.0, dz * 12.0});
    errors.position.push_back(std::sqrt(dx * dx + dy * dy + dz * dz) * 12.0);
    errors.orientation.push_back(
        field::angleBetween(field::fromAngles(pose.azimuth, pose.elevation, pose.roll),
                            orientationOf(pair.truth.angles)));
  }
  return errors;
}

ErrorSummary summarise(const PoseErrors& errors) {
  ErrorSummary summary;
  const auto rmsAndMax = [](const std::vector<double>& values, double* rms, double* max) {
    double sum = 0;
    for (double v : values) {
      sum += v * v;
      *max = std::max(*max, v);
    }
    *rms = values.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(values.size()));
  };
  rmsAndMax(errors.position, &summary.positionRms, &summary.positionMax);
  rmsAndMax(errors.orientation, &summary.orientationRms, &summary.orientationMax);
  return summary;
}

bool surveyVolume(const std::vector<SurveyPair>& pairs, field::Box* volume, std::string* error) {
  if (pairs.empty()) {
    *error = "no pairs";
    return false;
  }
  field::Box box{pairs[0].measured.position, pairs[0].measured.position};
  for (const SurveyPair& pair : pairs) {
    for (int a = 0; a < 3; ++a) {
      box.min[a] = std::min(box.min[a], pair.measured.position[a]);
      box.max[a] = std::max(box.max[a], pair.measured.position[a]);
    }
  }
  // A survey in one plane (or line) says nothing about the third direction.
  for (int a = 0; a < 3; ++a) {
    if (box.max[a] - box.min[a] < 0.01) {
      *error = std::string("the survey spans no volume: every measured ") + "xyz"[a] +
               " lies within 0.01 ft";
      return false;
    }
  }
  *volume = box;
  return true;
}

bool fitModel(const std::vector<SurveyPair>& pairs, const field::Box& volume,
              field::Method positionMethod, field::Method orientationMethod, ModelFit* fit,
              std::string* error) {
  Samples shift, turn;
  for (const SurveyPair& pair : pairs) {
    const Vec3 u = field::normalisedPosition(volume, pair.measured.position);
    const Vec3& m = pair.measured.position;
    const Vec3& t = pair.truth.position;
    shift.u.push_back(u);
    shift.values.push_back({t[0] - m[0], t[1] - m[1], t[2] - m[2]});
    // The rotation that turns the measured orientation into the true one.
    turn.u.push_back(u);
    turn.values.push_back(field::toRotationVector(
        orientationOf(pair.truth.angles) * field::conjugate(orientationOf(pair.measured.angles))));
  }
  shift.maxPower = turn.maxPower = determinedPowers(pairs);
  FittedField position = fitField(positionMethod, shift);
  FittedField orientation = fitField(orientationMethod, turn);
  if (!position.field || !orientation.field) {
    const bool positionFailed = !position.field;
    *error = std::string("the ") +
             field::methodName(positionFailed ? positionMethod : orientationMethod) +
             " fit of the " + (positionFailed ? "position" : "orientation") + " failed on " +
             std::to_string(pairs.size()) + " pairs (too few, or too close together)";
    return false;
  }
  fit->model.volume = volume;
  fit->model.position = std::move(position.field);
  fit->model.orientation = std::move(orientation.field);
  fit->positionSetting = position.setting;
  fit->orientationSetting = orientation.setting;
  return true;
}

bool crossValidate(const std::vector<SurveyPair>& pairs, const field::Box& volume,
                   field::Method method, int folds, uint32_t seed, PoseErrors* errors,
                   std::string* error) {
  const std::vector<int> fold = foldsOf(pairs.size(), folds, seed);
  errors->offset.assign(pairs.size(), Vec3{0, 0, 0});
  errors->position.assign(pairs.size(), 0.0);
  errors->orientation.assign(pairs.size(), 0.0);
  for (int f = 0; f < folds; ++f) {
    std::vector<SurveyPair> training, test;
    std::vector<size_t> testIndex;
    for (size_t i = 0; i < pairs.size(); ++i) {
      if (fold[i] == f) {
        test.push_back(pairs[i]);
        testIndex.push_back(i);
      } else {
        training.push_back(pairs[i]);
      }
    }
    ModelFit fit;
    if (!fitModel(training, volume, method, method, &fit, error)) return false;
    const PoseErrors foldErrors = poseErrors(&fit.model, test);
    for (size_t i = 0; i < test.size(); ++i) {
      errors->offset[testIndex[i]] = foldErrors.offset[i];
      errors->position[testIndex[i]] = foldErrors.position[i];
      errors->orientation[testIndex[i]] = foldErrors.orientation[i];
    }
  }
  return true;
}

std::vector<MethodScore> scoreMethods(const std::vector<SurveyPair>& pairs,
                                      const field::Box& volume,
                                      const std::vector<field::Method>& methods, int folds,
                                      uint32_t seed) {
  std::vector<MethodScore> scores;
  for (field::Method method : methods) {
    MethodScore score{method, false, {}, ""};
    PoseErrors errors;
    score.fitted = crossValidate(pairs, volume, method, folds, seed, &errors, &score.error);
    if (score.fitted) score.crossValidated = summarise(errors);
    scores.push_back(score);
  }
  return scores;
}

bool chooseMethods(const std::vector<MethodScore>& scores, field::Method* position,
                   field::Method* orientation) {
  const MethodScore* bestPosition = nullptr;
  const MethodScore* bestOrientation = nullptr;
  for (const MethodScore& s : scores) {
    if (!s.fitted) continue;
    if (!bestPosition || s.crossValidated.positionRms < bestPosition->crossValidated.positionRms) {
      bestPosition = &s;
    }
    if (!bestOrientation ||
        s.crossValidated.orientationRms < bestOrientation->crossValidated.orientationRms) {
      bestOrientation = &s;
    }
  }
  if (!bestPosition) return false;
  *position = bestPosition->method;
  *orientation = bestOrientation->method;
  return true;
}

}  // namespace calibrate
