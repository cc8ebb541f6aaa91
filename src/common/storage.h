// CDataStorage and CMutexH operations on the host's records. The driver never
// creates or frees a storage; it sizes its slots and copies records in.
#ifndef MOTIONSTAR_COMMON_STORAGE_H
#define MOTIONSTAR_COMMON_STORAGE_H

#include <cstdint>

#include "motionstar/host_abi.h"

namespace CMutexHOps {
bool lock(const CMutexH& mutex);
bool unlock(const CMutexH& mutex);
}  // namespace CMutexHOps

namespace CDataStorageOps {
bool setTrackerCount(CDataStorage& storage, uint32_t count);
bool setControllerCount(CDataStorage& storage, uint32_t count);
TraData* trackerAt(const CDataStorage& storage, uint32_t number);
ConData* controllerAt(const CDataStorage& storage, uint32_t number);
uint32_t trackerCount(const CDataStorage& storage);
uint32_t controllerCount(const CDataStorage& storage);
// False without touching anything when the storage has no mutex.
bool lock(const CDataStorage& storage);
bool unlock(const CDataStorage& storage);
}  // namespace CDataStorageOps

// Holds a storage's mutex from construction to the end of the scope, so no
// path can leave the storage locked.
class StorageLock {
 public:
  explicit StorageLock(const CDataStorage& storage) : storage_(storage) {
    CDataStorageOps::lock(storage_);
  }
  ~StorageLock() { CDataStorageOps::unlock(storage_); }
  StorageLock(const StorageLock&) = delete;
  StorageLock& operator=(const StorageLock&) = delete;

 private:
  const CDataStorage& storage_;
};

#endif  // MOTIONSTAR_COMMON_STORAGE_H
