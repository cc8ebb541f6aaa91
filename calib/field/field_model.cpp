#include "calib/field/field_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace field {

const char* methodName(Method method) {
  switch (method) {
    case Method::kLut:
      return "lut";
    case Method::kPoly:
      return "poly";
    case Method::kRbf:
      return "rbf";
  }
  return "?";
}

bool parseMethod(const std::string& name, Method* method) {
  for (Method m : {Method::kLut, Method::kPoly, Method::kRbf}) {
    if (name == methodName(m)) {
      *method = m;
      return true;
    }
  }
  return false;
}

LutField::LutField(std::array<int, 3> counts, std::vector<Vec3> values)
    : counts_(counts), values_(std::move(values)) {}

void LutField::cornerWeights(const std::array<int, 3>& counts, const Vec3& u,
                             std::array<int, 8>* nodes, std::array<double, 8>* weights) {
  int low[3];
  double fraction[3];
  for (int a = 0; a < 3; ++a) {
    const double t = (std::clamp(u[a], -1.0, 1.0) + 1.0) * 0.5 * (counts[a] - 1);
    low[a] = std::min(static_cast<int>(t), counts[a] - 2);
    fraction[a] = t - low[a];
  }
  for (int corner = 0; corner < 8; ++corner) {
    const int step[3] = {corner & 1, (corner >> 1) & 1, (corner >> 2) & 1};
    double weight = 1.0;
    for (int a = 0; a < 3; ++a) weight *= step[a] ? fraction[a] : 1.0 - fraction[a];
    (*nodes)[corner] =
        low[0] + step[0] + counts[0] * (low[1] + step[1] + counts[1] * (low[2] + step[2]));
    (*weights)[corner] = weight;
  }
}

Vec3 LutField::evaluate(const Vec3& u) const {
  std::array<int, 8> nodes;
  std::array<double, 8> weights;
  cornerWeights(counts_, u, &nodes, &weights);
  Vec3 out{0, 0, 0};
  for (int corner = 0; corner < 8; ++corner) {
    const Vec3& v = values_[nodes[corner]];
    for (int k = 0; k < 3; ++k) out[k] += weights[corner] * v[k];
  }
  return out;
}

std::string LutField::describe() const {
  return "grid " + std::to_string(counts_[0]) + "x" + std::to_string(counts_[1]) + "x" +
         std::to_string(counts_[2]);
}

PolyField::PolyField(std::vector<Exponents> exponents, std::vector<Vec3> coefficients)
    : degree_(0), exponents_(std::move(exponents)), coefficients_(std::move(coefficients)) {
  for (const Exponents& e : exponents_) degree_ = std::max(degree_, e[0] + e[1] + e[2]);
}

std::vector<PolyField::Exponents> PolyField::monomials(int degree) {
  std::vector<Exponents> result;
  for (int total = 0; total <= degree; ++total) {
    for (int i = total; i >= 0; --i) {
      for (int j = total - i; j >= 0; --j) result.push_back({i, j, total - i - j});
    }
  }
  return result;
}

double PolyField::monomial(const Exponents& e, const Vec3& u) {
  double value = 1.0;
  for (int a = 0; a < 3; ++a) {
    for (int k = 0; k < e[a]; ++k) value *= u[a];
  }
  return value;
}

Vec3 PolyField::evaluate(const Vec3& u) const {
  // Powers of each coordinate once, then one product per term.
  double powers[3][kMaxDegree + 1];
  for (int a = 0; a < 3; ++a) {
    powers[a][0] = 1.0;
    for (int k = 1; k <= degree_; ++k) powers[a][k] = powers[a][k - 1] * u[a];
  }
  Vec3 out{0, 0, 0};
  for (size_t t = 0; t < exponents_.size(); ++t) {
    const Exponents& e = exponents_[t];
    const double m = powers[0][e[0]] * powers[1][e[1]] * powers[2][e[2]];
    for (int k = 0; k < 3; ++k) out[k] += coefficients_[t][k] * m;
  }
  return out;
}

std::string PolyField::describe() const {
  return "degree " + std::to_string(degree_);
}

RbfField::RbfField(double shape, std::vector<Vec3> centres, std::vector<Vec3> weights,
                   std::array<Vec3, 4> tail)
    : shape_(shape), centres_(std::move(centres)), weights_(std::move(weights)), tail_(tail) {
  for (int k = 0; k < 3; ++k) {
    for (size_t c = 0; c < centres_.size(); ++c) {
      centreAxis_[k].push_back(centres_[c][k]);
      weightAxis_[k].push_back(weights_[c][k]);
    }
  }
}

Vec3 RbfField::evaluate(const Vec3& u) const {
  const double* cx = centreAxis_[0].data();
  const double* cy = centreAxis_[1].data();
  const double* cz = centreAxis_[2].data();
  const double* w0 = weightAxis_[0].data();
  const double* w1 = weightAxis_[1].data();
  const double* w2 = weightAxis_[2].data();
  const double shape2 = shape_ * shape_;
  double o0 = 0, o1 = 0, o2 = 0;
  for (size_t c = 0, n = centres_.size(); c < n; ++c) {
    const double dx = u[0] - cx[c], dy = u[1] - cy[c], dz = u[2] - cz[c];
    const double phi = std::sqrt(dx * dx + dy * dy + dz * dz + shape2);
    o0 += w0[c] * phi;
    o1 += w1[c] * phi;
    o2 += w2[c] * phi;
  }
  Vec3 out{o0, o1, o2};
  for (int k = 0; k < 3; ++k) {
    out[k] += tail_[0][k] + tail_[1][k] * u[0] + tail_[2][k] * u[1] + tail_[3][k] * u[2];
  }
  return out;
}

std::string RbfField::describe() const {
  char shape[32];
  std::snprintf(shape, sizeof shape, "%.3g", shape_);
  return std::to_string(centres_.size()) + " centres, shape " + shape;
}

bool contains(const Box& volume, const Vec3& p) {
  for (int a = 0; a < 3; ++a) {
    if (!(p[a] >= volume.min[a] && p[a] <= volume.max[a])) return false;
  }
  return true;
}

Vec3 normalisedPosition(const Box& volume, const Vec3& p) {
  Vec3 u;
  for (int a = 0; a < 3; ++a) {
    const double centre = 0.5 * (volume.min[a] + volume.max[a]);
    const double half = 0.5 * (volume.max[a] - volume.min[a]);
    u[a] = std::clamp((p[a] - centre) / half, -1.0, 1.0);
  }
  return u;
}

void correctPose(const FieldModel& model, TraPose& pose) {
  // A position that is no number has no place in the volume; leave it alone.
  if (!std::isfinite(pose.x) || !std::isfinite(pose.y) || !std::isfinite(pose.z)) return;
  const Vec3 u = normalisedPosition(model.volume, {pose.x, pose.y, pose.z});
  const Vec3 shift = model.position->evaluate(u);
  pose.x = static_cast<float>(pose.x + shift[0]);
  pose.y = static_cast<float>(pose.y + shift[1]);
  pose.z = static_cast<float>(pose.z + shift[2]);
  const Vec3 turn = model.orientation->evaluate(u);
  // No rotation, no rewriting of the angles (which would normalise them).
  if (turn[0] == 0.0 && turn[1] == 0.0 && turn[2] == 0.0) return;
  const Vec3 angles =
      toAngles(fromRotationVector(turn) * fromAngles(pose.azimuth, pose.elevation, pose.roll));
  pose.azimuth = static_cast<float>(angles[0]);
  pose.elevation = static_cast<float>(angles[1]);
  pose.roll = static_cast<float>(angles[2]);
}

}  // namespace field
