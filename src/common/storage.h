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

#endif  // MOTIONSTAR_COMMON_STORAGE_H
