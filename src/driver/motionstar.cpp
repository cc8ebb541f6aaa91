#include "driver/motionstar.h"

#include "common/logger.h"
#include "common/records.h"
#include "controller/con_common.h"
#include "net/socket.h"
#include "tracker/tra_common.h"

CMotionStar::CMotionStar(ConfigEntry* entry, const CLogH* hostLogger) {
  statusWord = 0;
  logger = new CLogH;
  if (hostLogger != nullptr) {
    logh::copyFrom(*logger, *hostLogger);
  } else {
    logh::resetDefaults(*logger);
    logh::setName(*logger, "CBase");
  }
  ownsLogger = 1;
  logh::setOwnerLevel(*logger, logh::kDeviceOwnerLevel);
  isInputConnector = 1;
  dataKind = 1;

  records::conReset(conScratch);
  logh::debug(log(), "CMotionStar: \"constructor\" called.");
  if (hostLogger == nullptr) logh::setName(*logger, "CMotionStar");
  configEntry = entry;
}

CMotionStar::~CMotionStar() {
  deviceName.reset();
  packetBuffer.reset();
  trackerHelper.reset();
  controllerHelper.reset();
  connection.reset();
  lastTraData.reset();
  lastConData.reset();
  positionScale.reset();
  logh::debug(log(), "CMotionStar: \"destructor\" called.");
  if (ownsLogger) delete logger;
  logger = nullptr;
}

int32_t CMotionStar::sendData(void*, void*) {
  logh::warning(log(), "CMotionStar: Can not send any data.");
  return -1;
}
