// Small hand-made correction models for the tests.
#ifndef MOTIONSTAR_TESTS_FIELD_FIELD_MODELS_H
#define MOTIONSTAR_TESTS_FIELD_FIELD_MODELS_H

#include <memory>

#include "calib/field/field_model.h"

// The same three values everywhere.
inline std::unique_ptr<field::VectorField> constantField(const field::Vec3& value) {
  return std::make_unique<field::PolyField>(std::vector<field::PolyField::Exponents>{{0, 0, 0}},
                                            std::vector<field::Vec3>{value});
}

// Position: shift times ux along x; orientation: turn times uy radians
// about y (u normalised across the volume).
inline field::FieldModel linearModel(const field::Box& volume, double shift, double turn) {
  field::FieldModel model;
  model.volume = volume;
  model.position = std::make_unique<field::PolyField>(
      std::vector<field::PolyField::Exponents>{{1, 0, 0}}, std::vector<field::Vec3>{{shift, 0, 0}});
  model.orientation = std::make_unique<field::PolyField>(
      std::vector<field::PolyField::Exponents>{{0, 1, 0}}, std::vector<field::Vec3>{{0, turn, 0}});
  return model;
}

#endif  // MOTIONSTAR_TESTS_FIELD_FIELD_MODELS_H
