#include "tools/calibrate/field_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <numeric>
#include <random>

#include "tools/calibrate/linear_algebra.h"

namespace calibrate {

namespace {

using field::LutField;
using field::PolyField;
using field::RbfField;
struct Setting {
  std::string label;
  std::function<std::unique_ptr<field::VectorField>(const Samples&)> fit;
};

constexpr int kSettingFolds = 5;
constexpr uint32_t kSettingSeed = 1;

Matrix valuesMatrix(const Samples& samples, size_t extraRows) {
  Matrix b(samples.values.size() + extraRows, 3);
  for (size_t i = 0; i < samples.values.size(); ++i) {
    for (int k = 0; k < 3; ++k) b(i, k) = samples.values[i][k];
  }
  return b;
}

std::vector<Vec3> rowsOf(const Matrix& m, size_t first, size_t count) {
  std::vector<Vec3> rows(count);
  for (size_t i = 0; i < count; ++i) rows[i] = {m(first + i, 0), m(first + i, 1), m(first + i, 2)};
  return rows;
}

// ---- look-up table: values at the grid nodes by least squares through the
// same trilinear weights the evaluation uses, smoothed by the squared second
// differences along each axis (which also fills nodes no sample reaches).

// density: nodes per mean distance between samples, along each axis.
std::array<int, 3> lutCounts(size_t sampleCount, double density) {
  const double spacing = std::cbrt(8.0 / static_cast<double>(sampleCount));
  const int n = std::clamp(static_cast<int>(std::lround(2.0 * density / spacing)) + 1, 3, 64);
  return {n, n, n};
}

std::unique_ptr<field::VectorField> fitLut(const Samples& samples, const std::array<int, 3>& counts,
                                           double smoothing) {
  const size_t nodes = static_cast<size_t>(counts[0]) * counts[1] * counts[2];
  std::vector<SparseEntry> a;
  for (size_t i = 0; i < samples.u.size(); ++i) {
    std::array<int, 8> corner;
    std::array<double, 8> weight;
    LutField::cornerWeights(counts, samples.u[i], &corner, &weight);
    for (int c = 0; c < 8; ++c) a.push_back({i, static_cast<size_t>(corner[c]), weight[c]});
  }
  std::vector<SparseEntry> l;
  const size_t stride[3] = {1, static_cast<size_t>(counts[0]),
                            static_cast<size_t>(counts[0]) * counts[1]};
  size_t row = 0;
  for (size_t node = 0; node < nodes; ++node) {
    for (int axis = 0; axis < 3; ++axis) {
      const int index = static_cast<int>(node / stride[axis] % counts[axis]);
      if (index == 0 || index == counts[axis] - 1) continue;
      l.push_back({row, node - stride[axis], 1.0});
      l.push_back({row, node, -2.0});
      l.push_back({row, node + stride[axis], 1.0});
      ++row;
    }
  }
  Matrix x(0, 0);
  if (!regularisedLeastSquares(nodes, a, valuesMatrix(samples, 0), l, smoothing, &x))
    return nullptr;
  return std::make_unique<LutField>(counts, rowsOf(x, 0, nodes));
}

// ---- polynomial: least squares on the monomials up to the degree that the
// samples can determine.

std::vector<PolyField::Exponents> polyTerms(int degree, const std::array<int, 3>& maxPower) {
  std::vector<PolyField::Exponents> terms;
  for (const PolyField::Exponents& e : PolyField::monomials(degree)) {
    if (e[0] <= maxPower[0] && e[1] <= maxPower[1] && e[2] <= maxPower[2]) terms.push_back(e);
  }
  return terms;
}

std::unique_ptr<field::VectorField> fitPoly(const Samples& samples, int degree) {
  const std::vector<PolyField::Exponents> terms = polyTerms(degree, samples.maxPower);
  const size_t n = samples.u.size();
  Matrix a(n, terms.size());
  for (size_t i = 0; i < n; ++i) {
    for (size_t t = 0; t < terms.size(); ++t) a(i, t) = PolyField::monomial(terms[t], samples.u[i]);
  }
  const Matrix x = leastSquares(a, valuesMatrix(samples, 0));
  return std::make_unique<PolyField>(terms, rowsOf(x, 0, terms.size()));
}

// ---- radial basis functions: one multiquadric per sample and a linear
// tail, the weights orthogonal to the tail (the usual side conditions), with
// a little smoothing on the diagonal.

std::unique_ptr<field::VectorField> fitRbf(const Samples& samples, double shape, double smoothing) {
  const size_t n = samples.u.size();
  Matrix m(n + 4, n + 4);
  for (size_t i = 0; i < n; ++i) {
    const Vec3& ui = samples.u[i];
    for (size_t j = 0; j < n; ++j) {
      const Vec3& uj = samples.u[j];
      const double dx = ui[0] - uj[0], dy = ui[1] - uj[1], dz = ui[2] - uj[2];
      m(i, j) = RbfField::kernel(dx * dx + dy * dy + dz * dz, shape);
    }
    m(i, i) += smoothing;
    const double tail[4] = {1.0, ui[0], ui[1], ui[2]};
    for (int t = 0; t < 4; ++t) m(i, n + t) = m(n + t, i) = tail[t];
  }
  Matrix x(0, 0);
  if (!solveSquare(m, valuesMatrix(samples, 4), &x)) return nullptr;
  const std::vector<Vec3> tail = rowsOf(x, n, 4);
  return std::make_unique<RbfField>(shape, samples.u, rowsOf(x, 0, n),
                                    std::array<Vec3, 4>{tail[0], tail[1], tail[2], tail[3]});
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::vector<Setting> settingsOf(field::Method method, const Samples& samples) {
  const size_t sampleCount = samples.u.size();
  std::vector<Setting> fitters;
  switch (method) {
    case field::Method::kLut:
      for (double density : {1.0, 1.5}) {
        const std::array<int, 3> counts = lutCounts(sampleCount, density);
        for (double smoothing : {1e-5, 1e-4, 1e-3, 1e-2, 1e-1}) {
          fitters.push_back(
              {"grid " + std::to_string(counts[0]) + "x" + std::to_string(counts[1]) + "x" +
                   std::to_string(counts[2]) + ", smoothing " + number(smoothing),
               [counts, smoothing](const Samples& s) { return fitLut(s, counts, smoothing); }});
        }
      }
      break;
    case field::Method::kPoly: {
      // At least two samples per term in every training fold.
      const size_t trainCount = sampleCount * (kSettingFolds - 1) / kSettingFolds;
      for (int degree = 1; degree <= 8; ++degree) {
        if (degree > 1 && polyTerms(degree, samples.maxPower).size() * 2 > trainCount) break;
        fitters.push_back({"degree " + std::to_string(degree),
                           [degree](const Samples& s) { return fitPoly(s, degree); }});
      }
      break;
    }
    case field::Method::kRbf:
      // Shapes up to about three sample spacings: flatter kernels fit a
      // grid's nodes well but swing between its planes, where the
      // cross-validation cannot look.
      for (double shape : {0.25, 0.5, 1.0}) {
        for (double smoothing : {1e-12, 1e-9, 1e-6, 1e-3}) {
          fitters.push_back(
              {"shape " + number(shape) + ", smoothing " + number(smoothing),
               [shape, smoothing](const Samples& s) { return fitRbf(s, shape, smoothing); }});
        }
      }
      break;
  }
  return fitters;
}

// Sum over the held-out samples of the squared distance between fitted and
// sampled values; infinite when a fold could not be fitted.
double heldOutError(const Setting& setting, const Samples& samples, const std::vector<int>& folds) {
  double sum = 0;
  for (int fold = 0; fold < kSettingFolds; ++fold) {
    const std::unique_ptr<field::VectorField> field =
        setting.fit(foldSamples(samples, folds, fold, false));
    if (!field) return std::numeric_limits<double>::infinity();
    const Samples test = foldSamples(samples, folds, fold, true);
    for (size_t i = 0; i < test.u.size(); ++i) {
      const Vec3 v = field->evaluate(test.u[i]);
      for (int k = 0; k < 3; ++k) sum += (v[k] - test.values[i][k]) * (v[k] - test.values[i][k]);
    }
  }
  return sum;
}

}  // namespace

std::vector<int> foldsOf(size_t count, int folds, uint32_t seed) {
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), size_t{0});
  std::mt19937 engine(seed);
  for (size_t i = count; i > 1; --i) std::swap(order[i - 1], order[engine() % i]);
  std::vector<int> fold(count);
  for (size_t i = 0; i < count; ++i) fold[order[i]] = static_cast<int>(i % folds);
  return fold;
}

Samples foldSamples(const Samples& samples, const std::vector<int>& folds, int fold, bool take) {
  Samples part;
  part.maxPower = samples.maxPower;
  for (size_t i = 0; i < samples.u.size(); ++i) {
    if ((folds[i] == fold) == take) {
      part.u.push_back(samples.u[i]);
      part.values.push_back(samples.values[i]);
    }
  }
  return part;
}

FittedField fitField(field::Method method, const Samples& samples) {
  if (samples.u.size() < static_cast<size_t>(kSettingFolds) * 2) return {};
  const std::vector<Setting> fitters = settingsOf(method, samples);
  const std::vector<int> folds = foldsOf(samples.u.size(), kSettingFolds, kSettingSeed);
  size_t best = 0;
  double bestError = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < fitters.size(); ++i) {
    const double error = heldOutError(fitters[i], samples, folds);
    if (error < bestError) {
      bestError = error;
      best = i;
    }
  }
  if (!std::isfinite(bestError)) return {};
  return {fitters[best].fit(samples), fitters[best].label};
}

}  // namespace calibrate
