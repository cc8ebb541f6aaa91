// configure, start and stop: short sequences of protocol exchanges.
#include "common/logger.h"
#include "driver/motionstar.h"
#include "net/socket.h"
#include "tracker/calib.h"
#include "tracker/tra_common.h"

int32_t CMotionStar::configure() {
  logh::debug(log(), "CMotionStar: \"configure\" called.");
  if (!wakeUp()) return 0;
  if (!sendSystemSetup()) return 0;
  const bool reports = logh::isDebugOn(log());
  if (reports && !printSystemStatus()) return 0;
  for (uint32_t id = 1; id <= settings.numDevices; ++id) {
    if (id == settings.ercId) continue;  // the transmitter unit has no sensor to set up
    const auto unit = static_cast<uint8_t>(id);
    if (!sendUnitSetup(unit)) return 0;
    if (reports && !printUnitSetup(unit)) return 0;
  }
  return dataKind;
}

bool CMotionStar::start() {
  logh::debug(log(), "CMotionStar: \"start\" called.");
  return runContinuous();
}

bool CMotionStar::stop() {
  logh::debug(log(), "CMotionStar: \"stop\" called.");
  if (!stopData()) return false;
  if (!shutDown()) return false;
  if (!connection->closeSocket()) return false;
  if (trackerHelper && trackerHelper->calib) return trackerHelper->calib->calibExit();
  return true;
}
