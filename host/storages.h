// The host's two data storages, shared by every device of the file: room for
// 32 elements each, a shared count and a real mutex.
#ifndef MOTIONSTAR_HOST_STORAGES_H
#define MOTIONSTAR_HOST_STORAGES_H

#include <cstdint>

#include "motionstar/host_abi.h"

class HostStorages {
 public:
  explicit HostStorages(const CLogH& log);
  ~HostStorages();
  HostStorages(const HostStorages&) = delete;
  HostStorages& operator=(const HostStorages&) = delete;

  bool ready() const {
    return trackerMutex_.handle != nullptr && controllerMutex_.handle != nullptr;
  }
  InitInfo initInfo();
  // Starts the storages as if earlier devices held `trackers` and
  // `controllers` slots, every element filled with `fill` (tests and fuzzing
  // see which elements a device wrote).
  void preset(uint32_t trackers, uint32_t controllers, uint8_t fill);

  // Copies of one element taken under the storage's lock.
  TraData tracker(uint32_t id);
  ConData controller(uint32_t id);
  // The shared counts, read under their storage's lock.
  uint32_t trackerCount();
  uint32_t controllerCount();

 private:
  friend class StorageView;

  CLogH log_;
  CMutexH trackerMutex_{};
  CMutexH controllerMutex_{};
  TraData trackers_[kMaxElements]{};
  ConData controllers_[kMaxElements]{};
  uint32_t trackerCount_ = 0;
  uint32_t controllerCount_ = 0;
  CDataStorage trackerStorage_{};
  CDataStorage controllerStorage_{};
};

// Storage records for a device that is brought up again: the same elements
// and mutexes as the shared records, but counts of their own that start at
// the device's first slots. Its init then takes the slots it had before,
// while the shared counts, which the other devices read, never move.
class StorageView {
 public:
  StorageView(HostStorages& storages, uint32_t trackerBase, uint32_t controllerBase);
  StorageView(const StorageView&) = delete;
  StorageView& operator=(const StorageView&) = delete;

  InitInfo initInfo();

 private:
  uint32_t trackerCount_;
  uint32_t controllerCount_;
  CDataStorage trackerStorage_;
  CDataStorage controllerStorage_;
};

#endif  // MOTIONSTAR_HOST_STORAGES_H
