// One device object of a driver module, driven through the ABI in the order
// the driver needs: createDev, init, configure, start, recvData..., stop,
// deleteDev. A device that never completed configure is not stopped: it did
// not answer, and stop would only wait out two more time limits on it.
#ifndef MOTIONSTAR_HOST_DEVICE_OBJECT_H
#define MOTIONSTAR_HOST_DEVICE_OBJECT_H

#include <string>

#include "host/module_loader.h"
#include "motionstar/host_abi.h"

class DeviceObject {
 public:
  DeviceObject(DriverModule& module, ConfigEntry* entry, CLogH* log)
      : module_(module), entry_(entry), log_(log) {}
  ~DeviceObject() { close(); }
  DeviceObject(const DeviceObject&) = delete;
  DeviceObject& operator=(const DeviceObject&) = delete;

  // createDev and init; false when either failed.
  bool create(InitInfo info);
  bool configure();
  bool start();
  // One recvData call.
  int32_t read(UpdatedMasks* masks);
  // stop (only after a successful configure) and deleteDev; false when
  // stop failed.
  bool close();
  bool exists() const { return device_ != nullptr; }

 private:
  DriverModule& module_;
  ConfigEntry* entry_;
  CLogH* log_;
  CBase* device_ = nullptr;
  bool configured_ = false;
};

// Why a failed init was a fault of the configuration, or empty when it was
// not (the connection or a library failed). The driver marks every option
// it accepts and parses all of them before it takes storage slots or
// prepares a connection: an option left unmarked was refused (or known to
// nobody), and a device that took no tracker slot (or, with a wanda, no
// controller slot) stopped at its device line, its options or the storage's
// limit of 32.
std::string configurationFault(const ConfigEntry& entry, bool tookTrackerSlots,
                               bool tookControllerSlot);

#endif  // MOTIONSTAR_HOST_DEVICE_OBJECT_H
