// The field correction's methods side by side on the simulator's distorted
// room: for a 6x6x5 grid survey, 180 scattered points and surveys of half as
// many points, each method's errors before and after on held-out poses
// within 6 ft of the transmitter whose measured position lies in the
// surveyed volume (outside it the correction is held at the edge), its fit
// time and its evaluation time per pose.
//
//   field_compare [--seed N] [--strength X] [--write DIR]
//
// --write DIR also writes the surveys and the held-out poses as pairs files
// (grid180.csv, scattered180.csv, grid90.csv, scattered90.csv and
// held_out.csv), for mstar-calibrate fit and check.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tools/calibrate/model_fit.h"
#include "tools/calibrate/simulated_survey.h"
#include "tools/calibrate/survey_plan.h"

namespace {

using calibrate::SurveyPair;

// The survey box: a 10 ft CAVE's inside, the transmitter in the middle.
const field::Box kBox{{-4.0, -3.0, -4.0}, {4.0, 3.0, 4.0}};
constexpr double kHeldOutRadius = 6.0;  // feet
constexpr int kHeldOutCount = 2000;
// What is left of a reading's noise after averaging 30 of them.
const calibrate::ReadingNoise kNoise{0.02, 0.02, 7};

struct Row {
  std::string label;
  field::Method position;
  field::Method orientation;
  bool chosen;  // by cross-validation, as mstar-calibrate fit chooses
};

struct Survey {
  std::string name;
  std::string file;  // for --write
  std::vector<calibrate::PoseRow> plan;
};

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Mean time of one correctPose over the held-out poses, in nanoseconds.
double evaluateNanoseconds(const field::FieldModel& model, const std::vector<SurveyPair>& pairs) {
  std::vector<TraPose> poses;
  for (const SurveyPair& p : pairs) {
    poses.push_back(
        {static_cast<float>(p.measured.position[0]), static_cast<float>(p.measured.position[1]),
         static_cast<float>(p.measured.position[2]), static_cast<float>(p.measured.angles[0]),
         static_cast<float>(p.measured.angles[1]), static_cast<float>(p.measured.angles[2])});
  }
  constexpr int kRounds = 20;
  double sink = 0;
  const auto started = std::chrono::steady_clock::now();
  for (int round = 0; round < kRounds; ++round) {
    for (TraPose pose : poses) {
      field::correctPose(model, pose);
      sink += pose.x;
    }
  }
  const double ns = seconds(started) * 1e9 / (kRounds * static_cast<double>(poses.size()));
  return sink == 12345.678 ? 0 : ns;  // keeps the loop from being dropped
}

void writePairs(const std::string& path, const std::vector<SurveyPair>& pairs) {
  std::ofstream out(path);
  calibrate::writePairs(out, pairs);
  std::printf("wrote %s (%lu pairs)\n", path.c_str(), static_cast<unsigned long>(pairs.size()));
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t seed = 1;
  double strength = 1.0;
  std::string writeDir;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seed") {
      seed = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
    } else if (option == "--strength") {
      strength = std::strtod(argv[i + 1], nullptr);
    } else if (option == "--write") {
      writeDir = argv[i + 1];
    } else {
      std::fprintf(stderr, "usage: field_compare [--seed N] [--strength X] [--write DIR]\n");
      return 2;
    }
  }
  const sim::FieldDistortion room(seed, strength);
  const calibrate::PlanAngles random{true, {0, 0, 0}};

  std::vector<calibrate::PoseRow> heldOutPlan;
  for (const calibrate::PoseRow& pose :
       calibrate::scatteredPlan(kBox, kHeldOutCount, random, seed + 1000)) {
    const auto& p = pose.position;
    if (std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) <= kHeldOutRadius) {
      heldOutPlan.push_back(pose);
    }
  }
  calibrate::ReadingNoise heldOutNoise = kNoise;
  heldOutNoise.seed = kNoise.seed + 1;
  const std::vector<SurveyPair> heldOut =
      calibrate::simulatedSurvey(room, heldOutPlan, heldOutNoise);

  const std::vector<Survey> surveys = {
      {"grid 6x6x5 (180)", "grid180.csv", calibrate::gridPlan(kBox, {6, 6, 5}, random, seed)},
      {"scattered 180", "scattered180.csv", calibrate::scatteredPlan(kBox, 180, random, seed)},
      {"grid 6x3x5 (90)", "grid90.csv", calibrate::gridPlan(kBox, {6, 3, 5}, random, seed)},
      {"scattered 90", "scattered90.csv", calibrate::scatteredPlan(kBox, 90, random, seed)},
  };

  std::printf(
      "room seed %u, strength %g; held-out poses: %lu within %.0f ft of the transmitter, of them "
      "those whose measured position lies in the survey's volume; reading noise %.2f in, %.2f "
      "deg\n\n",
      seed, strength, static_cast<unsigned long>(heldOut.size()), kHeldOutRadius,
      kNoise.positionInches, kNoise.orientationDegrees);
  std::printf(
      "| survey | method | held out | position RMS (in) | position max (in) | orientation RMS "
      "(deg) | orientation max (deg) | fit (ms) | evaluate (ns) |\n"
      "|---|---|---|---|---|---|---|---|---|\n");
  // "before -> after (reduction)"
  const auto change = [](double before, double after) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f -> %.3f (%.0f%%)", before, after,
                  100.0 * (before - after) / before);
    return std::string(text);
  };
  for (const Survey& survey : surveys) {
    const std::vector<SurveyPair> pairs = calibrate::simulatedSurvey(room, survey.plan, kNoise);
    if (!writeDir.empty()) writePairs(writeDir + "/" + survey.file, pairs);
    field::Box volume;
    std::string error;
    if (!calibrate::surveyVolume(pairs, &volume, &error)) {
      std::fprintf(stderr, "%s: %s\n", survey.name.c_str(), error.c_str());
      return 1;
    }
    std::vector<SurveyPair> inside;
    for (const SurveyPair& pair : heldOut) {
      if (field::contains(volume, pair.measured.position)) inside.push_back(pair);
    }
    const calibrate::ErrorSummary before =
        calibrate::summarise(calibrate::poseErrors(nullptr, inside));
    // Each method for both fields, then the choice by cross-validation that
    // "mstar-calibrate fit" makes (its time includes the cross-validation).
    std::vector<Row> rows;
    for (field::Method method : {field::Method::kLut, field::Method::kPoly, field::Method::kRbf}) {
      rows.push_back({field::methodName(method), method, method, false});
    }
    rows.push_back({"", field::Method::kLut, field::Method::kLut, true});
    for (Row& row : rows) {
      const auto started = std::chrono::steady_clock::now();
      if (row.chosen) {
        const std::vector<calibrate::MethodScore> scores = calibrate::scoreMethods(
            pairs, volume, {field::Method::kLut, field::Method::kPoly, field::Method::kRbf}, 5, 1);
        if (!calibrate::chooseMethods(scores, &row.position, &row.orientation)) {
          std::fprintf(stderr, "%s: no method could be fitted\n", survey.name.c_str());
          return 1;
        }
        row.label = std::string("chosen: ") + field::methodName(row.position) + " / " +
                    field::methodName(row.orientation);
      }
      calibrate::ModelFit fit;
      if (!calibrate::fitModel(pairs, volume, row.position, row.orientation, &fit, &error)) {
        std::fprintf(stderr, "%s, %s: %s\n", survey.name.c_str(), row.label.c_str(), error.c_str());
        return 1;
      }
      const double fitMilliseconds = seconds(started) * 1000;
      const calibrate::ErrorSummary after =
          calibrate::summarise(calibrate::poseErrors(&fit.model, inside));
      std::printf("| %s | %s | %lu | %s | %s | %s | %s | %.0f | %.0f |\n", survey.name.c_str(),
                  row.label.c_str(), static_cast<unsigned long>(inside.size()),
                  change(before.positionRms, after.positionRms).c_str(),
                  change(before.positionMax, after.positionMax).c_str(),
                  change(before.orientationRms, after.orientationRms).c_str(),
                  change(before.orientationMax, after.orientationMax).c_str(), fitMilliseconds,
                  evaluateNanoseconds(fit.model, inside));
      std::fflush(stdout);
    }
  }
  if (!writeDir.empty()) writePairs(writeDir + "/held_out.csv", heldOut);
  return 0;
}
