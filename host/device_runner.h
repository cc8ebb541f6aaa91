// One device of the file driven through the module's ABI: created,
// initialised, configured and started in order, then read on a thread of
// its own until the host stops it.
#ifndef MOTIONSTAR_HOST_DEVICE_RUNNER_H
#define MOTIONSTAR_HOST_DEVICE_RUNNER_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "host/host_entry.h"
#include "host/module_loader.h"
#include "host/output.h"
#include "host/storages.h"

class DeviceRunner {
 public:
  DeviceRunner(const DeviceBlock& block, DriverModule& module, HostStorages& storages,
               CLogH* hostLog, Output& output);
  ~DeviceRunner();
  DeviceRunner(const DeviceRunner&) = delete;
  DeviceRunner& operator=(const DeviceRunner&) = delete;

  // createDev, init, configure, start; false at the first failure, which
  // is named in *error.
  bool bringUp(std::string* error);
  // Reads until stop is set or `packetLimit` packets were handled (0: no limit).
  void startReading(const std::atomic<bool>& stop, uint64_t packetLimit);
  void join();
  // stop (when the system was started or configured) and deleteDev; false
  // when stop failed.
  bool shutDown();

  const std::string& name() const { return name_; }
  uint64_t packets() const { return packets_; }
  uint64_t failures() const { return failures_; }
  bool finished() const { return finished_; }

 private:
  void readLoop(const std::atomic<bool>& stop, uint64_t packetLimit);
  void publishChanged(const UpdatedMasks& masks);

  std::string name_;
  HostEntry entry_;
  DriverModule& module_;
  HostStorages& storages_;
  CLogH* hostLog_;
  Output& output_;
  CBase* device_ = nullptr;
  bool initialised_ = false;
  std::thread reader_;
  std::atomic<uint64_t> packets_{0};
  std::atomic<uint64_t> failures_{0};
  std::atomic<bool> finished_{false};
};

#endif  // MOTIONSTAR_HOST_DEVICE_RUNNER_H
