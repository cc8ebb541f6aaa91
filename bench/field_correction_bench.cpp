// calib_evaluate of the field correction library, as the driver calls it
// once per pose, for a model of each method fitted to a 180-point survey of
// the simulator's distorted room; beside it the pass-through library's
// calib_evaluate, the cost of the call alone. (transform_bench times the
// transform step that follows calibration.)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "calib/field/model_file.h"
#include "motionstar/calibration.h"
#include "platform/platform.h"
#include "tools/calibrate/model_fit.h"
#include "tools/calibrate/simulated_survey.h"
#include "tools/calibrate/survey_plan.h"

namespace {

constexpr size_t kPoseCount = 1024;  // a power of two, for the index mask
const field::Box kBox{{-4.0, -3.0, -4.0}, {4.0, 3.0, 4.0}};

const sim::FieldDistortion& room() {
  static const sim::FieldDistortion distortion(1);
  return distortion;
}

// Measured poses inside the surveyed box, as the driver hands them over.
const std::vector<TraPose>& inputPoses() {
  static const std::vector<TraPose> poses = [] {
    const calibrate::PlanAngles random{true, {0, 0, 0}};
    std::vector<TraPose> result;
    for (const calibrate::SurveyPair& pair : calibrate::simulatedSurvey(
             room(), calibrate::scatteredPlan(kBox, kPoseCount, random, 99))) {
      const auto& m = pair.measured;
      result.push_back({static_cast<float>(m.position[0]), static_cast<float>(m.position[1]),
                        static_cast<float>(m.position[2]), static_cast<float>(m.angles[0]),
                        static_cast<float>(m.angles[1]), static_cast<float>(m.angles[2])});
    }
    return result;
  }();
  return poses;
}

// The model file of one method, fitted once.
std::string modelFile(field::Method method) {
  const std::string path = std::string("field_bench_") + field::methodName(method) + ".model";
  const calibrate::PlanAngles random{true, {0, 0, 0}};
  const std::vector<calibrate::SurveyPair> pairs =
      calibrate::simulatedSurvey(room(), calibrate::scatteredPlan(kBox, 180, random, 1));
  field::Box volume;
  calibrate::ModelFit fit;
  std::string error;
  if (!calibrate::surveyVolume(pairs, &volume, &error) ||
      !calibrate::fitModel(pairs, volume, method, method, &fit, &error)) {
    std::fprintf(stderr, "fit failed: %s\n", error.c_str());
    return "";
  }
  std::ofstream out(path);
  field::writeModel(out, fit.model, "benchmark");
  return path;
}

struct LoadedLibrary {
  void* library = nullptr;
  void* handle = nullptr;
  CalibEvaluateFn evaluate = nullptr;
  CalibExitFn exit = nullptr;

  LoadedLibrary(const char* path, const std::string& argument) {
    library = platform::libraryLoad(path);
    if (library == nullptr) return;
    auto init = reinterpret_cast<CalibInitFn>(platform::librarySymbol(library, "calib_init"));
    evaluate =
        reinterpret_cast<CalibEvaluateFn>(platform::librarySymbol(library, "calib_evaluate"));
    exit = reinterpret_cast<CalibExitFn>(platform::librarySymbol(library, "calib_exit"));
    std::string copy = argument;
    char* args[2] = {copy.data(), nullptr};
    handle = init(args, argument.empty() ? 0 : 1);
  }
  ~LoadedLibrary() {
    if (exit != nullptr) exit(handle);
    platform::libraryFree(library);
  }
};

void runEvaluate(benchmark::State& state, const LoadedLibrary& calib) {
  if (calib.evaluate == nullptr) {
    state.SkipWithError("library not loaded");
    return;
  }
  const std::vector<TraPose>& poses = inputPoses();
  size_t i = 0;
  for (auto _ : state) {
    TraPose pose = poses[i++ & (kPoseCount - 1)];
    calib.evaluate(calib.handle, &pose);
    benchmark::DoNotOptimize(pose);
  }
  state.SetItemsProcessed(state.iterations());
}

void fieldCorrection(benchmark::State& state, field::Method method) {
  // Fitted and loaded once: the benchmark runs this function several times.
  static const LoadedLibrary lut(FIELD_CORRECTION_PATH, modelFile(field::Method::kLut));
  static const LoadedLibrary poly(FIELD_CORRECTION_PATH, modelFile(field::Method::kPoly));
  static const LoadedLibrary rbf(FIELD_CORRECTION_PATH, modelFile(field::Method::kRbf));
  const LoadedLibrary& calib = method == field::Method::kLut    ? lut
                               : method == field::Method::kPoly ? poly
                                                                : rbf;
  if (calib.handle == nullptr) {
    state.SkipWithError("model not loaded");
    return;
  }
  runEvaluate(state, calib);
}
BENCHMARK_CAPTURE(fieldCorrection, lut, field::Method::kLut);
BENCHMARK_CAPTURE(fieldCorrection, poly, field::Method::kPoly);
BENCHMARK_CAPTURE(fieldCorrection, rbf, field::Method::kRbf);

void passThrough(benchmark::State& state) {
  runEvaluate(state, LoadedLibrary(PASSTHROUGH_PATH, ""));
}
BENCHMARK(passThrough);

}  // namespace
