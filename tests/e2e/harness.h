// Drives the built module as a host does: loaded by path, its entries built
// from configuration text, storages with real mutexes, a simulated MotionStar
// on a loopback address of its own.
#ifndef MOTIONSTAR_TESTS_E2E_HARNESS_H
#define MOTIONSTAR_TESTS_E2E_HARNESS_H

#include <array>
#include <memory>
#include <string>

#include "host/host_entry.h"
#include "host/module_loader.h"
#include "host/storages.h"
#include "motionstar/host_abi.h"
#include "sim/simulator.h"

namespace e2e {

// A loopback address no other test process uses at the same time, so
// simulators can listen on the system's fixed ports 6000 and 5000.
std::string uniqueLoopbackAddress();

// The module, loaded once per test process.
DriverModule& module();

// One device object made from configuration text ("device ms motionstar 2"
// and option lines); deleted with the harness.
class Device {
 public:
  Device(const std::string& config, HostStorages& storages, CLogH* log);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  CBase* operator->() { return device_; }
  int32_t init();
  // One recvData call; the masks it left.
  int32_t receive(UpdatedMasks* masks);

 private:
  std::unique_ptr<HostEntry> entry_;
  HostStorages& storages_;
  CBase* device_ = nullptr;
};

// Starts a simulator on a fresh loopback address with the fixed ports;
// manual stream (packets only on emitPackets) unless the config says otherwise.
// *address is where it listens.
std::unique_ptr<sim::Simulator> startSimulator(sim::Config config, std::string* address);

// Why simulators cannot take the fixed ports here (another process holds
// one), or empty when they can; found once per process by trying.
const std::string& fixedPortsTaken();

// The pose a unit record's words stand for, worked out here from the word
// encoding and not with the driver's decoder: feet and degrees.
std::array<double, 6> expectedPose(const std::array<int16_t, 6>& words, double scale = 12.0,
                                   bool caveCoordinates = true);
// A published record read back: feet and degrees.
std::array<double, 6> publishedPose(const TraData& record);
uint32_t maskWord(const uint8_t mask[4]);
uint32_t recordId(const RecordHeader& header);

}  // namespace e2e

#endif  // MOTIONSTAR_TESTS_E2E_HARNESS_H
