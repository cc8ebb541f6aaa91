#include "tracker/calib.h"

#include <cstring>

#include "motionstar/calibration.h"

CCalibH::CCalibH(const char* libraryName, const CLogH* log) : CDynamicLibH(libraryName, log) {
  if (log == nullptr) logger().setName("CCalibH");
  logger().debug("CCalibH: \"init\" called.");
}

CCalibH::~CCalibH() {
  logger().debug("CCalibH: \"destructor\" called.");
}

bool CCalibH::calibInit(char** args, uint32_t count) {
  logger().debug("CCalibH: \"init\" called.");
  auto init = reinterpret_cast<CalibInitFn>(getProcAddrCached("calib_init", kInitSlot));

  // The library may keep these pointers until calib_exit, so it gets copies
  // of its own rather than the caller's texts.
  releaseArguments();
  argCount_ = count;
  argCopies_.reserve(count);
  argPointers_.reserve(size_t{count} + 1);
  for (uint32_t i = 0; i < count; ++i) {
    const char* text = (args != nullptr && args[i] != nullptr) ? args[i] : "";
    const size_t size = std::strlen(text) + 1;
    argCopies_.emplace_back(new char[size]);
    std::memcpy(argCopies_.back().get(), text, size);
    argPointers_.push_back(argCopies_.back().get());
  }
  argPointers_.push_back(nullptr);  // so even an empty list is an array

  if (init == nullptr) {
    logger().debug("CCalibH: could not call \"calib_init\".");
    return false;
  }
  calibHandle = init(argPointers_.data(), static_cast<int32_t>(count));
  logger().debug("CCalibH: \"calib_init\" called.");
  return true;
}

bool CCalibH::calibEvaluate(TraPose* pose) {
  auto evaluate =
      reinterpret_cast<CalibEvaluateFn>(getProcAddrCached("calib_evaluate", kEvaluateSlot));
  if (evaluate == nullptr) return false;
  evaluate(calibHandle, pose);
  return true;
}

bool CCalibH::calibExit() {
  logger().debug("CCalibH: \"exit\" called.");
  auto exitFn = reinterpret_cast<CalibExitFn>(getProcAddrCached("calib_exit", kExitSlot));
  releaseArguments();  // the count is kept
  if (exitFn == nullptr) {
    logger().debug("CCalibH: could not call \"calib_exit\".");
    return false;
  }
  exitFn(calibHandle);
  logger().debug("CCalibH: \"calib_exit\" called.");
  return true;
}

void CCalibH::releaseArguments() {
  argPointers_.clear();
  argPointers_.shrink_to_fit();
  argCopies_.clear();
}
