// The field correction as a calibration library:
//
//   calibration field_correction MODEL
//
// calib_init reads the model written by "mstar-calibrate fit"; calib_evaluate
// then corrects the position and the orientation of every pose. The driver's
// calibration contract has no way to fail, so a model that cannot be read is
// reported on standard error, calib_init returns null, and every pose passes
// unchanged: the tracker keeps working, uncorrected, and the message says so.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "calib/field/field_model.h"
#include "calib/field/model_file.h"
#include "motionstar/calibration.h"

namespace {

void* loadModel(char** args, int32_t count) {
  if (count < 1 || args == nullptr || args[0] == nullptr) {
    std::fprintf(stderr,
                 "field_correction: no model file named (calibration field_correction MODEL); "
                 "poses pass unchanged\n");
    return nullptr;
  }
  if (count > 1) {
    std::fprintf(stderr,
                 "field_correction: unexpected argument \"%s\" after the model; poses pass "
                 "unchanged\n",
                 args[1] != nullptr ? args[1] : "");
    return nullptr;
  }
  auto model = std::make_unique<field::FieldModel>();
  std::string error;
  if (!field::readModel(args[0], model.get(), &error)) {
    std::fprintf(stderr, "field_correction: %s; poses pass unchanged\n", error.c_str());
    return nullptr;
  }
  std::fprintf(stderr, "field_correction: %s: position by %s (%s), orientation by %s (%s)\n",
               args[0], field::methodName(model->position->method()),
               model->position->describe().c_str(), field::methodName(model->orientation->method()),
               model->orientation->describe().c_str());
  return model.release();
}

}  // namespace

void* calib_init(char** args, int32_t count) {
  try {
    return loadModel(args, count);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr,
                 "field_correction: out of memory reading the model; poses pass unchanged\n");
    return nullptr;
  }
}

int32_t calib_evaluate(void* handle, TraPose* pose) {
  if (handle != nullptr && pose != nullptr) {
    field::correctPose(*static_cast<const field::FieldModel*>(handle), *pose);
  }
  return 1;
}

int32_t calib_exit(void* handle) {
  delete static_cast<field::FieldModel*>(handle);
  return 1;
}
