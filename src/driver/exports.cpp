// The module's two exported functions; everything else is reached through
// the virtual slots of CBase.
#include "driver/motionstar.h"

extern "C" MOTIONSTAR_EXPORT CBase* createDev(ConfigEntry* entry, CLogH* logger) {
  // No exception may cross the module boundary: a failed allocation is null.
  try {
    return new CMotionStar(entry, logger);
  } catch (...) {
    return nullptr;
  }
}

extern "C" MOTIONSTAR_EXPORT bool deleteDev(CBase* device) {
  if (device == nullptr) return false;
  delete static_cast<CMotionStar*>(device);
  return true;
}
