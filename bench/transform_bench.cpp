// The transform step once per pose, beside a baseline that does only the
// trigonometry the step cannot avoid: sine and cosine of the three incoming
// and three outgoing angles, three arc tangents and one root, in single
// precision, on the same inputs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "tracker/matrix.h"
#include "tracker/tra_common.h"

namespace {

constexpr size_t kPoseCount = 1024;  // a power of two, for the index mask

const std::vector<TraPose>& inputPoses() {
  static const std::vector<TraPose> poses = [] {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<TraPose> result(kPoseCount);
    for (TraPose& p : result) {
      p = {3 * unit(rng),   3 * unit(rng),  3 * unit(rng),
           180 * unit(rng), 85 * unit(rng), 180 * unit(rng)};
    }
    return result;
  }();
  return poses;
}

void applyTransforms(benchmark::State& state) {
  const std::vector<TraPose>& poses = inputPoses();
  const Matrix4 transmitter = combineTransform(axisAngleMatrix(0.3f, 0.5f, 0.8f, 35.0f),
                                               translationMatrix(1.0f, 2.0f, 3.0f));
  const Matrix4 sensor = combineTransform(axisAngleMatrix(1.0f, -0.2f, 0.1f, -20.0f),
                                          translationMatrix(0.1f, 0.2f, 0.3f));
  const float translation[3] = {0.0f, 0.0f, 0.0f};  // as the device passes it when unset
  size_t i = 0;
  for (auto _ : state) {
    TraPose pose = poses[i++ & (kPoseCount - 1)];
    CTraCommonH::applyTransforms(pose, &transmitter, &sensor, translation);
    benchmark::DoNotOptimize(pose);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(applyTransforms);

void trigonometryBaseline(benchmark::State& state) {
  const std::vector<TraPose>& poses = inputPoses();
  size_t i = 0;
  for (auto _ : state) {
    const TraPose& in = poses[i++ & (kPoseCount - 1)];
    const float a = in.azimuth * kDegToRad;
    const float e = in.elevation * kDegToRad;
    const float r = in.roll * kDegToRad;
    const float sa = std::sin(a), ca = std::cos(a);
    const float se = std::sin(e), ce = std::cos(e);
    const float sr = std::sin(r), cr = std::cos(r);
    // The outgoing angles depend on the incoming trigonometry, as in the step.
    const float n20 = sa * ce, n22 = ca * ce;
    const float outA = std::atan2(n20, n22);
    const float outE = std::atan2(se, std::sqrt(n20 * n20 + n22 * n22));
    const float outR = std::atan2(ce * sr, ce * cr);
    TraPose out{std::sin(outA), std::cos(outA), std::sin(outE),
                std::cos(outE), std::sin(outR), std::cos(outR)};
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(trigonometryBaseline);

}  // namespace
