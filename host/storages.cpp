#include "host/storages.h"

#include <cstring>

#include "platform/platform.h"

HostStorages::HostStorages(const CLogH& log) : log_(log) {
  for (CMutexH* mutex : {&trackerMutex_, &controllerMutex_}) {
    mutex->handle = platform::mutexCreate();
    mutex->logger = &log_;
  }
  trackerStorage_.trackerList = trackers_;
  trackerStorage_.logger = &log_;
  trackerStorage_.mutex = &trackerMutex_;
  trackerStorage_.countCell = &trackerCount_;
  controllerStorage_.controllerList = controllers_;
  controllerStorage_.logger = &log_;
  controllerStorage_.mutex = &controllerMutex_;
  controllerStorage_.countCell = &controllerCount_;
}

HostStorages::~HostStorages() {
  platform::mutexDestroy(trackerMutex_.handle);
  platform::mutexDestroy(controllerMutex_.handle);
}

InitInfo HostStorages::initInfo() {
  InitInfo info{};
  info.trackerStorage = &trackerStorage_;
  info.controllerStorage = &controllerStorage_;
  return info;
}

void HostStorages::preset(uint32_t trackers, uint32_t controllers, uint8_t fill) {
  std::memset(trackers_, fill, sizeof trackers_);
  std::memset(controllers_, fill, sizeof controllers_);
  trackerCount_ = trackers;
  controllerCount_ = controllers;
}

TraData HostStorages::tracker(uint32_t id) {
  TraData copy{};
  platform::mutexLock(trackerMutex_.handle, nullptr);
  if (id >= 1 && id <= kMaxElements) copy = trackers_[id - 1];
  platform::mutexUnlock(trackerMutex_.handle, nullptr);
  return copy;
}

ConData HostStorages::controller(uint32_t id) {
  ConData copy{};
  platform::mutexLock(controllerMutex_.handle, nullptr);
  if (id >= 1 && id <= kMaxElements) copy = controllers_[id - 1];
  platform::mutexUnlock(controllerMutex_.handle, nullptr);
  return copy;
}

uint32_t HostStorages::trackerCount() {
  platform::mutexLock(trackerMutex_.handle, nullptr);
  const uint32_t count = trackerCount_;
  platform::mutexUnlock(trackerMutex_.handle, nullptr);
  return count;
}

uint32_t HostStorages::controllerCount() {
  platform::mutexLock(controllerMutex_.handle, nullptr);
  const uint32_t count = controllerCount_;
  platform::mutexUnlock(controllerMutex_.handle, nullptr);
  return count;
}

StorageView::StorageView(HostStorages& storages, uint32_t trackerBase, uint32_t controllerBase)
    : trackerCount_(trackerBase),
      controllerCount_(controllerBase),
      trackerStorage_(storages.trackerStorage_),
      controllerStorage_(storages.controllerStorage_) {
  trackerStorage_.countCell = &trackerCount_;
  controllerStorage_.countCell = &controllerCount_;
}

InitInfo StorageView::initInfo() {
  InitInfo info{};
  info.trackerStorage = &trackerStorage_;
  info.controllerStorage = &controllerStorage_;
  return info;
}
