// A ConfigEntry built from one device block; it owns every text the entry
// points to and lives as long as the device object.
#ifndef MOTIONSTAR_HOST_HOST_ENTRY_H
#define MOTIONSTAR_HOST_HOST_ENTRY_H

#include <memory>

#include "host/config_file.h"
#include "motionstar/host_abi.h"

class HostEntry {
 public:
  explicit HostEntry(const DeviceBlock& block);
  HostEntry(const HostEntry&) = delete;
  HostEntry& operator=(const HostEntry&) = delete;

  ConfigEntry* entry() { return entry_.get(); }

 private:
  DeviceBlock words_;  // the texts the entry's pointers point into
  std::unique_ptr<ConfigEntry> entry_;
};

#endif  // MOTIONSTAR_HOST_HOST_ENTRY_H
