// The tracking system as its commands see it: the system and unit status
// blocks, which SEND_SETUP rewrites, and the reply each command gets. No
// sockets and no faults here; what goes wrong on purpose is added on top.
#ifndef MOTIONSTAR_SIM_DEVICE_MODEL_H
#define MOTIONSTAR_SIM_DEVICE_MODEL_H

#include <cstdint>
#include <vector>

#include "sim/packets.h"
#include "sim/simulator.h"

namespace sim {

// Device status byte an address reports by default.
uint8_t defaultDeviceStatus(const Config& config, int address);
// The system block (data part) the configuration starts with.
std::vector<uint8_t> makeSystemBlock(const Config& config);
// A unit block (data part) holding the given setup.
std::vector<uint8_t> makeUnitBlock(const UnitSetup& setup);

class DeviceModel {
 public:
  DeviceModel() = default;  // no bus: every address is unknown
  // The bus of a valid configuration, with its blocks as they start.
  explicit DeviceModel(const Config& config);

  // The reply to a command of at least a header's length: the reply code,
  // the command's unit address, and a data block for GET_STATUS; its error
  // byte is set when the device refuses. Empty for an unknown code, and for
  // every command but WAKE_UP while the system sleeps.
  std::vector<uint8_t> reply(const std::vector<uint8_t>& command) const;

  // A system just powered on sleeps until a WAKE_UP reaches it. (One that
  // the simulator starts is awake: tests talk to it straight away.)
  void sleep() { awake_ = false; }
  void wake() { awake_ = true; }
  bool awake() const { return awake_; }
  bool answers(uint8_t commandCode) const { return awake_ || commandCode == kWakeUp; }
  // Carries out a command whose reply went out without an error: SEND_SETUP
  // stores its block. The stream's commands act on the stream instead.
  void carryOut(const std::vector<uint8_t>& command);

  // Addresses that send records (every unit but the ERC), ascending.
  const std::vector<int>& sensors() const { return sensors_; }
  // The block GET_STATUS returns for the address (0: the system block);
  // empty for an address not on the bus.
  std::vector<uint8_t> statusBlock(int unitAddress) const;
  // The hemisphere code in a unit's block as it stands (0xFF off the bus).
  uint8_t hemisphere(int unitAddress) const;

 private:
  // Index 0: the system block; index a: the block of unit address a.
  std::vector<std::vector<uint8_t>> blocks_;
  std::vector<int> sensors_;
  bool awake_ = true;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_DEVICE_MODEL_H
