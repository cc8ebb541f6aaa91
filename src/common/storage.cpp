#include "common/storage.h"

#include <iostream>
#include <string>

#include "common/logger.h"
#include "platform/platform.h"

namespace {

// Messages go through the record's logger; a host that gave none still gets
// its failures reported, with a default logger.
const CLogH& loggerOr(const CLogH* log) {
  static const CLogH fallback = [] {
    CLogH record;
    logh::resetDefaults(record);
    return record;
  }();
  return log != nullptr ? *log : fallback;
}

bool reportMutexFailure(const CMutexH& mutex, const char* text, const std::string& systemText) {
  logh::error(loggerOr(mutex.logger), text, false);
  std::cout << systemText << std::flush;
  return false;
}

}  // namespace

namespace CMutexHOps {

bool lock(const CMutexH& mutex) {
  std::string systemText;
  if (platform::mutexLock(mutex.handle, &systemText)) return true;
  return reportMutexFailure(mutex, "CMutexH: Locking mutex: ", systemText);
}

bool unlock(const CMutexH& mutex) {
  std::string systemText;
  if (platform::mutexUnlock(mutex.handle, &systemText)) return true;
  return reportMutexFailure(mutex, "CMutexH: Unlocking mutex: ", systemText);
}

}  // namespace CMutexHOps

namespace CDataStorageOps {
namespace {

bool refuse(const CDataStorage& storage, const char* text) {
  logh::error(loggerOr(storage.logger), text);
  return false;
}

}  // namespace

bool setTrackerCount(CDataStorage& storage, uint32_t count) {
  if (count > kMaxElements) return refuse(storage, "CDataStorage: The new number is too big.");
  if (storage.controllerList != nullptr)
    return refuse(storage, "Delete controller data list first.");
  if (storage.trackerList == nullptr || storage.countCell == nullptr) {
    return refuse(storage, "CDataStorage: Data storage has not been created yet.");
  }
  if (storage.mutex == nullptr)
    return refuse(storage, "CDataStorage: Mutex has not been set up yet.");
  if (count == 0) return refuse(storage, "CDataStorage: the number of data is zero.");
  *storage.countCell = count;
  return true;
}

bool setControllerCount(CDataStorage& storage, uint32_t count) {
  if (count > kMaxElements) return refuse(storage, "CDataStorage: The new number is too big.");
  if (storage.trackerList != nullptr) {
    return refuse(storage, "CDataStorage: Delete tracker data list first.");
  }
  if (storage.controllerList == nullptr || storage.countCell == nullptr) {
    return refuse(storage, "CDataStorage: Datt Storage has not been created yet.");
  }
  if (storage.mutex == nullptr)
    return refuse(storage, "CDataStorage: Mutex has not been set up yet.");
  if (count == 0) return refuse(storage, "CDataStorage: the number of data is zero.");
  *storage.countCell = count;
  return true;
}

uint32_t trackerCount(const CDataStorage& storage) {
  return storage.trackerList != nullptr && storage.countCell != nullptr ? *storage.countCell : 0;
}

uint32_t controllerCount(const CDataStorage& storage) {
  return storage.controllerList != nullptr && storage.countCell != nullptr ? *storage.countCell : 0;
}

TraData* trackerAt(const CDataStorage& storage, uint32_t number) {
  if (storage.trackerList == nullptr || number == 0 || number > kMaxElements ||
      number > trackerCount(storage)) {
    return nullptr;
  }
  return storage.trackerList + (number - 1);
}

ConData* controllerAt(const CDataStorage& storage, uint32_t number) {
  if (storage.controllerList == nullptr || number == 0 || number > kMaxElements ||
      number > controllerCount(storage)) {
    return nullptr;
  }
  return storage.controllerList + (number - 1);
}

bool lock(const CDataStorage& storage) {
  return storage.mutex != nullptr && CMutexHOps::lock(*storage.mutex);
}

bool unlock(const CDataStorage& storage) {
  return storage.mutex != nullptr && CMutexHOps::unlock(*storage.mutex);
}

}  // namespace CDataStorageOps
