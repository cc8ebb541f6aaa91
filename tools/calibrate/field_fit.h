// Fitting one smooth field of three values over normalised positions
// (-1 .. 1 on every axis) by one of the three methods. Each method has a
// setting that trades closeness to the samples against smoothness (the look-up
// table's smoothing, the polynomial's degree, the radial functions' shape
// and smoothing); it is chosen by k-fold cross-validation on the samples.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_FIELD_FIT_H
#define MOTIONSTAR_TOOLS_CALIBRATE_FIELD_FIT_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "calib/field/field_model.h"

namespace calibrate {

using field::Vec3;

struct Samples {
  std::vector<Vec3> u;       // normalised positions
  std::vector<Vec3> values;  // the field's values there
  // The highest power of each coordinate the samples can determine: a
  // survey taken at three heights says nothing about the cube of the height.
  std::array<int, 3> maxPower{field::PolyField::kMaxDegree, field::PolyField::kMaxDegree,
                              field::PolyField::kMaxDegree};
};

struct FittedField {
  std::unique_ptr<field::VectorField> field;  // null when no setting gave a solvable system
  std::string setting;                        // the chosen one, in words
};

FittedField fitField(field::Method method, const Samples& samples);

// Fold 0 .. folds-1 of each of count items: a seeded shuffle dealt round,
// so the folds differ in size by one at most.
std::vector<int> foldsOf(size_t count, int folds, uint32_t seed);

// The samples of one fold (take) or of all the others.
Samples foldSamples(const Samples& samples, const std::vector<int>& folds, int fold, bool take);

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_FIELD_FIT_H
