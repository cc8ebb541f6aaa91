// init: the device line, the defaults, the device options, then the
// initialisation sequence that readies everything later operations need.
#include <algorithm>
#include <cstring>

#include "common/config.h"
#include "common/logger.h"
#include "common/records.h"
#include "common/storage.h"
#include "controller/con_common.h"
#include "driver/motionstar.h"
#include "net/socket.h"
#include "protocol/packet.h"
#include "protocol/status_block.h"
#include "tracker/calib.h"
#include "tracker/tra_common.h"

namespace {

// Takes slots for one device after those of devices initialised before it,
// under the storage's lock: base gets the storage's count, which grows by
// slots. Slots past the storage's 32 would be given to the next device as
// well, and two devices would write the same elements: false then (the
// storage has said why).
bool reserveSlots(CDataStorage& storage, uint32_t (*count)(const CDataStorage&),
                  bool (*setCount)(CDataStorage&, uint32_t), uint32_t slots, uint32_t& base) {
  StorageLock lock(storage);
  base = count(storage);
  return setCount(storage, base + slots);
}

}  // namespace

int32_t CMotionStar::init(InitInfo* info) {
  logh::debug(log(), "CMotionStar: \"init\" called.");
  if (info == nullptr) {
    logh::error(log(), "CMotionStar: Init info is empty.");
    return -1;
  }
  // A second init would rebuild the helpers under a running connection and
  // reserve storage slots twice.
  if (initCalled) {
    logh::error(log(), "CMotionStar: The device has already been initialised.");
    return -1;
  }
  initCalled = true;
  if (configEntry == nullptr) {
    logh::error(log(), "CMotionStar: Config entry is empty.");
    return -1;
  }
  if (!CConfigH::checkEntryShape(*configEntry, log())) return -1;
  initInfo = *info;

  const char* name = configEntry->deviceName != nullptr ? configEntry->deviceName : "";
  deviceName.reset(new char[std::strlen(name) + 1]);
  std::strcpy(deviceName.get(), name);
  isInputConnector = 1;
  dataKind = 2;

  if (!parseDeviceLine() || !parseDeviceOptions()) return -1;
  return initialise();
}

int32_t CMotionStar::initialise() {
  const uint32_t numDevices = settings.numDevices;
  packetBuffer.reset(new uint8_t[proto::dataBufferBytes(numDevices)]());
  positionScale.reset(new float[numDevices]);
  std::fill(positionScale.get(), positionScale.get() + numDevices, proto::kDefaultPositionScale);

  if (initInfo.trackerStorage == nullptr) {
    logh::error(log(), "CMotionStar: tracker data storage pointer is empty.");
    return -1;
  }
  trackerHelper = std::make_unique<CTraCommonH>(logger);
  trackerHelper->isInputConnector = isInputConnector != 0;
  trackerHelper->maxOutputCount = settings.numTrackers;
  trackerHelper->caveCoordinates = true;
  trackerHelper->allocTrackers(numDevices);
  uint32_t trackerNumber = 1;
  for (uint32_t id = 1; id <= numDevices; ++id) {
    if (id != settings.ercId) {
      trackerHelper->setTracker(id, trackerNumber++, nullptr, nullptr, nullptr);
    }
  }
  if (!trackerHelper->parseOptions(configEntry)) return -1;
  if (!reserveSlots(*initInfo.trackerStorage, CDataStorageOps::trackerCount,
                    CDataStorageOps::setTrackerCount, trackerHelper->maxOutputCount,
                    trackerHelper->outputIdBase)) {
    return -1;
  }

  if (settings.wandaOn) {
    if (initInfo.controllerStorage == nullptr) {
      logh::error(log(), "CMotionStar: controller data storage pointer is empty.");
      return -1;
    }
    controllerHelper = std::make_unique<CConCommonH>(logger);
    controllerHelper->isInputConnector = isInputConnector != 0;
    controllerHelper->maxOutputCount = 1;
    controllerHelper->createTable(1, true);
    controllerHelper->setupController(kWandController, 1, kWandValuators, kWandButtons);
    if (!controllerHelper->parseOptions(configEntry)) return -1;
    uint32_t base = 0;
    const bool reserved =
        reserveSlots(*initInfo.controllerStorage, CDataStorageOps::controllerCount,
                     CDataStorageOps::setControllerCount, controllerHelper->maxOutputCount, base);
    controllerHelper->outputIdBase = static_cast<int32_t>(base);
    if (!reserved) return -1;
  }

  if (!CConfigH::checkUnknownOptions(*configEntry, log())) return -1;
  printInfo();

  lastTraData.reset(new TraData[settings.numDevices]());
  for (uint32_t i = 0; i < settings.numDevices; ++i) records::traCreate(lastTraData[i]);
  lastConData.reset(new ConData[1]());
  records::conReset(lastConData[0]);

  if (trackerHelper->calib &&
      !trackerHelper->calib->calibInit(trackerHelper->calibArgs, trackerHelper->calibArgCount)) {
    return -1;
  }
  return prepareConnection() ? 1 : -1;
}

bool CMotionStar::usesCaveCoordinates() const {
  return trackerHelper ? trackerHelper->caveCoordinates : true;
}
