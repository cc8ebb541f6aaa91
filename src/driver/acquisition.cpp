// recvData: one data packet per call, published where it changed.
//
// A packet's way from the socket to the storage: CSocketH (net/socket.cpp)
// receives it, DataPacketReader (protocol/data_reader.cpp) frames it,
// protocol/packet.h places its records, protocol/data_record.cpp decodes
// them, CCalibH (tracker/calib.cpp) and CTraCommonH (tracker/transforms.cpp)
// correct and transform the pose, common/records.cpp writes the record, and
// publishIfChanged below copies it into the storage under StorageLock
// (common/storage.h). The aux record's wand bytes go to WandaAssembler
// (driver/wanda.h).
#include <cstring>
#include <iostream>

#include "common/logger.h"
#include "common/records.h"
#include "common/storage.h"
#include "controller/con_common.h"
#include "driver/motionstar.h"
#include "net/socket.h"
#include "protocol/data_record.h"
#include "protocol/packet.h"
#include "tracker/calib.h"
#include "tracker/tra_common.h"

namespace {

// What differs between publishing a tracker and a controller record.
template <class Record>
struct RecordKind {
  Record* (*element)(const CDataStorage& storage, uint32_t id);
  bool (*equal)(const Record& a, const Record& b);
  const char* foundLine;
  const char* missingLine;
};

const RecordKind<TraData> kTrackerRecords{CDataStorageOps::trackerAt, records::traEqual,
                                          "CMotionStar: TraData storage found",
                                          "CMotionStar: TraData storage not found"};
const RecordKind<ConData> kControllerRecords{CDataStorageOps::controllerAt, records::conEqual,
                                             "CMotionStar: ConData storage found",
                                             "CMotionStar: ConData storage not found"};

// Publishes record unless it equals last: copies it into the storage's
// element for id, holding the storage's lock for the lookup and the copy
// only; then sets id's bit in mask and keeps the record as last. False when
// the storage has no element for id (the bit and last are set all the same).
template <class Record>
bool publishIfChanged(const RecordKind<Record>& kind, const CDataStorage& storage, uint32_t id,
                      const Record& record, Record& last, uint8_t mask[4], const CLogH& log) {
  if (kind.equal(record, last)) return true;
  bool found = false;
  {
    StorageLock lock(storage);
    if (Record* element = kind.element(storage, id)) {
      logh::debug(log, kind.foundLine);
      std::memcpy(element, &record, sizeof record);
      found = true;
    } else {
      logh::error(log, kind.missingLine);
    }
  }
  CTraCommonH::markUpdated(mask, id);
  last = record;
  return found;
}

}  // namespace

int32_t CMotionStar::recvData(void* masksArgument, void*) {
  logh::debug(log(), "CMotionStar: \"recvData\" called.");
  if (!connection || !packetBuffer) {
    logh::error(log(), "CMotionStar: The device has not been initialised.");
    return -1;
  }
  UpdatedMasks scratchMasks{};
  UpdatedMasks& masks =
      masksArgument != nullptr ? *static_cast<UpdatedMasks*>(masksArgument) : scratchMasks;
  if (trackerHelper) CTraCommonH::clearUpdated(masks.tracker);
  if (controllerHelper) CTraCommonH::clearUpdated(masks.controller);

  // Read a packet.
  const uint32_t units = settings.numTrackers;
  const uint8_t* packet = packetBuffer.get();
  const int32_t received = dataReader.read(*connection, packetBuffer.get(),
                                           static_cast<int32_t>(proto::dataRequestBytes(units)));
  if (received == 0) return 1;
  if (received < 0) return -1;
  const auto size = static_cast<size_t>(received);

  // Each unit record that arrived whole: decode, correct, transform, publish.
  // The header's count, less a record's bytes for each record visited, says
  // whether an aux record follows.
  uint16_t remaining = proto::byteCount(packet);
  bool ok = true;
  for (uint32_t i = 0; i < units && ok; ++i) {
    const size_t offset = proto::unitRecordOffset(i);
    if (offset + proto::kUnitRecordBytes > size) break;
    remaining = static_cast<uint16_t>(remaining - proto::kUnitRecordBytes);
    ok = publishTracker(packet + offset, masks);
  }

  // The aux record's bytes to the wand, whatever became of the records.
  auto publish = [this, &masks](const WandaState& wand) { publishWanda(wand, masks); };
  if (settings.wandaOn && remaining != 0) {
    const size_t aux = proto::auxRecordOffset(units);
    const WandBytes wand = auxWandBytes(packet + aux, size > aux ? size - aux : 0);
    wanda.feed(wand.bytes, wand.count, publish);
  } else {
    publish(wanda.finishWithoutAux());
  }

  if (ok) return 1;
  logh::error(log(), "CMotionStar: Receiving data failed.");
  return -1;
}

bool CMotionStar::publishTracker(const uint8_t* record, UpdatedMasks& masks) {
  const uint32_t deviceId = unitAddress(record);
  if (deviceId == 0 || deviceId > settings.numDevices) return false;
  // The transmitter's unit has no tracker slot; its record would land in
  // another device's storage element.
  if (deviceId == settings.ercId) return true;

  const TrackerRec& tracker = trackerHelper->trackers[deviceId - 1];
  const uint32_t outputId = tracker.outputIndex + trackerHelper->outputIdBase;
  TraPose pose =
      decodeUnitRecord(record, positionScale[deviceId - 1], trackerHelper->caveCoordinates);
  records::stampTime(traScratch.header, traScratch.stamp);
  if (trackerHelper->calib && !trackerHelper->calib->calibEvaluate(&pose)) {
    logh::error(log(), "CMotionStar: Calibration failed.");
    return false;
  }
  if (trackerHelper->hasTransmitterOffset || trackerHelper->hasTransmitterRotation ||
      tracker.hasSensorOffset || tracker.hasSensorRotation || tracker.hasSensorTranslation) {
    CTraCommonH::applyTransforms(pose, &trackerHelper->transmitterTransform,
                                 &tracker.sensorTransform, tracker.sensorTranslation);
  }
  records::traSetId(traScratch, outputId);
  const float values[6] = {pose.x, pose.y, pose.z, pose.azimuth, pose.elevation, pose.roll};
  records::traSetPose(traScratch, values);
  return publishIfChanged(kTrackerRecords, *initInfo.trackerStorage, outputId, traScratch,
                          lastTraData[deviceId - 1], masks.tracker, log());
}

void CMotionStar::publishWanda(const WandaState& wand, UpdatedMasks& masks) {
  if (!controllerHelper) return;
  const ControllerSetup* setup = controllerHelper->controller(kWandController);
  if (setup == nullptr) return;
  const auto controllerId = static_cast<uint32_t>(static_cast<int32_t>(setup->outputIndex) +
                                                  controllerHelper->outputIdBase);
  if (logh::isDebugOn(log())) {
    logh::debug(log(), "CMotionStar: rawID: ", false);
    std::cout << 0 << " newConID: " << controllerId << std::endl;
  }
  if (controllerId >= 1 && controllerId <= kMaxElements) {
    records::stampTime(conScratch.header, conScratch.stamp);
    records::conSetId(conScratch, controllerId);
    records::conSetValuatorCount(conScratch, setup->valuatorCount);
    records::conSetButtonCount(conScratch, setup->buttonCount);
    records::conSetButton(conScratch, setup->buttonMap[0], wand.firstButton);
    records::conSetButton(conScratch, setup->buttonMap[1], wand.fourthByteButton);
    records::conSetButton(conScratch, setup->buttonMap[2], wand.secondButton);
    records::conSetValuator(conScratch, setup->valuatorMap[0], wand.valuator1);
    records::conSetValuator(conScratch, setup->valuatorMap[1], wand.valuator2);
  }
  // A missing controller element does not fail the packet.
  publishIfChanged(kControllerRecords, *initInfo.controllerStorage, controllerId, conScratch,
                   lastConData[0], masks.controller, log());
}
