#include "tools/calibrate/survey_plan.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace calibrate {

namespace {

// Uniform numbers from the raw engine: the same plan for a seed everywhere.
class Uniform {
 public:
  explicit Uniform(uint32_t seed) : engine_(seed) {}
  double operator()(double low, double high) {
    return low + (high - low) * (static_cast<double>(engine_()) / 4294967296.0);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((*this)(0.0, n)); }

 private:
  std::mt19937 engine_;
};

Vec3 anglesFor(const PlanAngles& angles, Uniform& uniform) {
  if (!angles.random) return angles.fixed;
  return {uniform(-180.0, 180.0), uniform(-60.0, 60.0), uniform(-180.0, 180.0)};
}

}  // namespace

std::vector<PoseRow> gridPlan(const field::Box& box, const std::array<int, 3>& counts,
                              const PlanAngles& angles, uint32_t seed) {
  Uniform uniform(seed);
  const auto at = [&box, &counts](int a, int i) {
    if (counts[a] == 1) return 0.5 * (box.min[a] + box.max[a]);
    return box.min[a] + (box.max[a] - box.min[a]) * i / (counts[a] - 1);
  };
  std::vector<PoseRow> plan;
  for (int k = 0; k < counts[2]; ++k) {
    for (int j = 0; j < counts[1]; ++j) {
      for (int i = 0; i < counts[0]; ++i) {
        plan.push_back({{at(0, i), at(1, j), at(2, k)}, anglesFor(angles, uniform)});
      }
    }
  }
  return plan;
}

std::vector<PoseRow> scatteredPlan(const field::Box& box, int count, const PlanAngles& angles,
                                   uint32_t seed) {
  Uniform uniform(seed);
  // Cells of about equal sides: n cells along an axis in proportion to its
  // length, grown until there are enough.
  Vec3 size;
  for (int a = 0; a < 3; ++a) size[a] = box.max[a] - box.min[a];
  const double side = std::cbrt(size[0] * size[1] * size[2] / count);
  std::array<int, 3> cells;
  for (int a = 0; a < 3; ++a) cells[a] = std::max(1, static_cast<int>(size[a] / side));
  while (cells[0] * cells[1] * cells[2] < count) {
    // Grow the axis whose cells are longest.
    int longest = 0;
    for (int a = 1; a < 3; ++a) {
      if (size[a] / cells[a] > size[longest] / cells[longest]) longest = a;
    }
    ++cells[longest];
  }
  std::vector<int> order(static_cast<size_t>(cells[0]) * cells[1] * cells[2]);
  std::iota(order.begin(), order.end(), 0);
  // Fisher-Yates with our own draws, so the order does not depend on the
  // standard library's shuffle.
  for (size_t i = order.size() - 1; i > 0; --i) {
    std::swap(order[i], order[uniform.below(static_cast<uint32_t>(i + 1))]);
  }
  std::vector<PoseRow> plan;
  for (int n = 0; n < count; ++n) {
    const int cell[3] = {order[n] % cells[0], order[n] / cells[0] % cells[1],
                         order[n] / (cells[0] * cells[1])};
    PoseRow pose;
    for (int a = 0; a < 3; ++a) {
      const double low = box.min[a] + size[a] * cell[a] / cells[a];
      pose.position[a] = uniform(low, low + size[a] / cells[a]);
    }
    pose.angles = anglesFor(angles, uniform);
    plan.push_back(pose);
  }
  return plan;
}

}  // namespace calibrate
