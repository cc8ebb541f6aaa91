// A correction of the field distortion: where a sensor really is, given where
// it says it is. The model holds the surveyed volume (in measured positions)
// and two smooth fields over it, each a function of the measured position:
// the offset to add to the position, and the rotation that turns the
// measured orientation into the true one. Standard library only: the
// calibration library evaluates it on every pose.
#ifndef MOTIONSTAR_CALIB_FIELD_FIELD_MODEL_H
#define MOTIONSTAR_CALIB_FIELD_FIELD_MODEL_H

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "calib/field/rotation.h"
#include "motionstar/pose.h"

namespace field {

enum class Method { kLut, kPoly, kRbf };

// "lut", "poly", "rbf".
const char* methodName(Method method);
bool parseMethod(const std::string& name, Method* method);

// A smooth map from a normalised position u (each coordinate within -1 .. 1
// across the surveyed volume) to three values.
class VectorField {
 public:
  virtual ~VectorField() = default;
  virtual Method method() const = 0;
  virtual Vec3 evaluate(const Vec3& u) const = 0;
  // Its settings in a few words, for reports ("grid 11x11x9").
  virtual std::string describe() const = 0;
};

// Trilinear look-up table on a regular grid of nodes spanning -1 .. 1 on
// every axis.
class LutField : public VectorField {
 public:
  // values: three per node, x fastest, then y, then z. Every count >= 2.
  LutField(std::array<int, 3> counts, std::vector<Vec3> values);
  Method method() const override { return Method::kLut; }
  Vec3 evaluate(const Vec3& u) const override;
  std::string describe() const override;
  const std::array<int, 3>& counts() const { return counts_; }
  const std::vector<Vec3>& values() const { return values_; }

  // The eight nodes around u and their trilinear weights (summing to 1);
  // fitting uses the same weights as evaluation.
  static void cornerWeights(const std::array<int, 3>& counts, const Vec3& u,
                            std::array<int, 8>* nodes, std::array<double, 8>* weights);

 private:
  std::array<int, 3> counts_;
  std::vector<Vec3> values_;
};

// Global polynomial: a sum of coefficient vectors times monomials
// ux^i uy^j uz^k.
class PolyField : public VectorField {
 public:
  using Exponents = std::array<int, 3>;
  static constexpr int kMaxDegree = 12;
  // One coefficient vector per monomial; every exponent 0 .. kMaxDegree.
  PolyField(std::vector<Exponents> exponents, std::vector<Vec3> coefficients);
  Method method() const override { return Method::kPoly; }
  Vec3 evaluate(const Vec3& u) const override;
  std::string describe() const override;
  // Highest total degree of its monomials.
  int degree() const { return degree_; }
  const std::vector<Exponents>& exponents() const { return exponents_; }
  const std::vector<Vec3>& coefficients() const { return coefficients_; }

  // Every monomial of total degree up to degree, lowest first.
  static std::vector<Exponents> monomials(int degree);
  static double monomial(const Exponents& e, const Vec3& u);

 private:
  int degree_;
  std::vector<Exponents> exponents_;
  std::vector<Vec3> coefficients_;
};

// Radial basis functions: Hardy's multiquadric sqrt(r^2 + shape^2) around
// each centre, plus a linear tail a0 + a1 ux + a2 uy + a3 uz.
class RbfField : public VectorField {
 public:
  RbfField(double shape, std::vector<Vec3> centres, std::vector<Vec3> weights,
           std::array<Vec3, 4> tail);
  Method method() const override { return Method::kRbf; }
  Vec3 evaluate(const Vec3& u) const override;
  std::string describe() const override;
  double shape() const { return shape_; }
  const std::vector<Vec3>& centres() const { return centres_; }
  const std::vector<Vec3>& weights() const { return weights_; }
  const std::array<Vec3, 4>& tail() const { return tail_; }

  static double kernel(double squaredDistance, double shape) {
    return std::sqrt(squaredDistance + shape * shape);
  }

 private:
  double shape_;
  std::vector<Vec3> centres_;
  std::vector<Vec3> weights_;
  std::array<Vec3, 4> tail_;
  // The same centres and weights one coordinate at a time, so the sum over
  // the centres runs over plain arrays the compiler can vectorise.
  std::array<std::vector<double>, 3> centreAxis_;
  std::array<std::vector<double>, 3> weightAxis_;
};

// Measured positions the survey covered, feet.
struct Box {
  Vec3 min;
  Vec3 max;
};

struct FieldModel {
  Box volume;
  std::unique_ptr<VectorField> position;     // feet added to the measured position
  std::unique_ptr<VectorField> orientation;  // rotation vector, radians, transmitter's frame
};

bool contains(const Box& volume, const Vec3& p);

// Position p mapped into the volume's normalised coordinates and clamped to
// -1 .. 1: outside the volume the correction is that at its boundary.
Vec3 normalisedPosition(const Box& volume, const Vec3& p);

// The true pose for a measured one: p + position(u), and the orientation
// turned on the left (in the transmitter's frame) by the rotation
// orientation(u).
void correctPose(const FieldModel& model, TraPose& pose);

}  // namespace field

#endif  // MOTIONSTAR_CALIB_FIELD_FIELD_MODEL_H
