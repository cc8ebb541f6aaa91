// Operations that need the initialisation sequence. Until it runs they
// refuse, so no caller mistakes them for working.
#include "common/logger.h"
#include "driver/motionstar.h"

namespace {
constexpr const char* kNotInitialised = "CMotionStar: The device has not been initialised.";
}

int32_t CMotionStar::init(InitInfo*) {
  logh::debug(log(), "CMotionStar: \"init\" called.");
  logh::error(log(), "CMotionStar: Initialisation is not available in this build.");
  return -1;
}

bool CMotionStar::start() {
  logh::error(log(), kNotInitialised);
  return false;
}

int32_t CMotionStar::configure() {
  logh::error(log(), kNotInitialised);
  return 0;
}

bool CMotionStar::stop() {
  logh::error(log(), kNotInitialised);
  return false;
}

bool CMotionStar::printInfo() {
  logh::error(log(), kNotInitialised);
  return true;
}

int32_t CMotionStar::recvData(void*, void*) {
  logh::error(log(), kNotInitialised);
  return -1;
}

bool CMotionStar::usesCaveCoordinates() const { return true; }
