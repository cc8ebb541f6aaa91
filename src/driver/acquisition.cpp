// recvData: one data packet per call, published where it changed.
#include <cstring>
#include <iostream>

#include "common/byte_order.h"
#include "common/logger.h"
#include "common/records.h"
#include "common/storage.h"
#include "controller/con_common.h"
#include "driver/motionstar.h"
#include "net/socket.h"
#include "protocol/data_record.h"
#include "tracker/calib.h"
#include "tracker/tra_common.h"

namespace {
constexpr uint32_t kHeaderBytes = 16;
constexpr uint32_t kUnitRecordBytes = 14;
}  // namespace

int32_t CMotionStar::recvData(void* masksArgument, void*) {
  logh::debug(log(), "CMotionStar: \"recvData\" called.");
  if (!connection || !packetBuffer) {
    logh::error(log(), "CMotionStar: The device has not been initialised.");
    return -1;
  }
  uint8_t scratchMasks[8];
  uint8_t* masks = masksArgument != nullptr ? static_cast<uint8_t*>(masksArgument) : scratchMasks;
  if (trackerHelper) CTraCommonH::clearUpdated(masks);
  if (controllerHelper) CTraCommonH::clearUpdated(masks + 4);

  uint8_t* packet = packetBuffer.get();
  const auto requested = static_cast<int32_t>(kUnitRecordBytes * settings.numTrackers + 24);
  const int32_t received = dataReader.read(*connection, packet, requested);
  if (received == 0) return 1;
  if (received < 0) return -1;

  uint16_t remaining = readU16be(packet + 14);
  bool ok = true;
  for (uint32_t i = 0; i < settings.numTrackers && ok; ++i) {
    const uint32_t offset = kHeaderBytes + kUnitRecordBytes * i;
    // Only records that arrived whole are decoded.
    if (offset + kUnitRecordBytes > static_cast<uint32_t>(received)) break;
    remaining = static_cast<uint16_t>(remaining - kUnitRecordBytes);
    ok = publishTracker(packet + offset, masks);
  }

  if (settings.wandaOn && remaining != 0) {
    const uint32_t auxOffset = kHeaderBytes + kUnitRecordBytes * settings.numTrackers;
    const size_t available = static_cast<uint32_t>(received) > auxOffset
                                 ? static_cast<uint32_t>(received) - auxOffset
                                 : 0;
    const WandBytes wand = auxWandBytes(packet + auxOffset, available);
    for (uint32_t i = 0; i < wand.count; ++i) {
      const uint8_t byte = wand.bytes[i];
      if (WandaAssembler::isStartByte(byte)) {
        if (wanda.count == 3) {
          wanda.decode(3);
          publishWanda(masks);
        }
        wanda.count = 0;
      }
      wanda.store(byte);
    }
    if (wanda.count == 4) {
      wanda.decode(4);
      publishWanda(masks);
    }
  } else if (wanda.count == 3 || wanda.count == 4) {
    wanda.decode(wanda.count);
    publishWanda(masks);
    wanda.count = 0;
  } else {
    wanda.decodeIdle();
    publishWanda(masks);
  }

  if (ok) return 1;
  logh::error(log(), "CMotionStar: Receiving data failed.");
  return -1;
}

bool CMotionStar::publishTracker(const uint8_t* record, uint8_t* masks) {
  const uint32_t deviceId = record[0] & 0x7F;
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

  TraData& last = lastTraData[deviceId - 1];
  if (records::traEqual(traScratch, last)) return true;

  bool found = false;
  CDataStorage& storage = *initInfo.trackerStorage;
  CDataStorageOps::lock(storage);
  TraData* foundTracker = CDataStorageOps::trackerAt(storage, outputId);
  if (foundTracker != nullptr) {
    logh::debug(log(), "CMotionStar: TraData storage found");
    std::memcpy(foundTracker, &traScratch, sizeof traScratch);
    found = true;
  } else {
    logh::error(log(), "CMotionStar: TraData storage not found");
  }
  CDataStorageOps::unlock(storage);
  CTraCommonH::markUpdated(masks, outputId);
  last = traScratch;
  return found;
}

void CMotionStar::publishWanda(uint8_t* masks) {
  if (!controllerHelper) return;
  const ControllerSetup* wand = controllerHelper->controller(1);
  if (wand == nullptr) return;
  const auto controllerId = static_cast<uint32_t>(static_cast<int32_t>(wand->outputIndex) +
                                                  controllerHelper->outputIdBase);
  if (logh::isDebugOn(log())) {
    logh::debug(log(), "CMotionStar: rawID: ", false);
    std::cout << 0 << " newConID: " << controllerId << std::endl;
  }
  if (controllerId >= 1 && controllerId <= kMaxElements) {
    const WandaState& state = wanda.state;
    records::stampTime(conScratch.header, conScratch.stamp);
    records::conSetId(conScratch, controllerId);
    records::conSetValuatorCount(conScratch, wand->valuatorCount);
    records::conSetButtonCount(conScratch, wand->buttonCount);
    records::conSetButton(conScratch, wand->buttonMap[0], state.firstButton);
    records::conSetButton(conScratch, wand->buttonMap[1], state.fourthByteButton);
    records::conSetButton(conScratch, wand->buttonMap[2], state.secondButton);
    records::conSetValuator(conScratch, wand->valuatorMap[0], state.valuator1);
    records::conSetValuator(conScratch, wand->valuatorMap[1], state.valuator2);
  }
  if (records::conEqual(conScratch, lastConData[0])) return;

  CDataStorage& storage = *initInfo.controllerStorage;
  CDataStorageOps::lock(storage);
  ConData* foundController = CDataStorageOps::controllerAt(storage, controllerId);
  if (foundController != nullptr) {
    logh::debug(log(), "CMotionStar: ConData storage found");
    std::memcpy(foundController, &conScratch, sizeof conScratch);
  } else {
    logh::error(log(), "CMotionStar: ConData storage not found");
  }
  CDataStorageOps::unlock(storage);
  CTraCommonH::markUpdated(masks + 4, controllerId);
  lastConData[0] = conScratch;
}
