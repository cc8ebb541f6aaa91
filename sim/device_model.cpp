#include "sim/device_model.h"

#include "common/byte_order.h"
#include "sim/packets.h"

namespace sim {

uint8_t defaultDeviceStatus(const Config& config, int address) {
  // Reported and running; the ERC drives transmitter 0, every other unit receives.
  if (address == config.ercAddress) return 0x80 | 0x40 | 0x10 | 0x01;
  return 0x80 | 0x40 | 0x20;
}

std::vector<uint8_t> makeSystemBlock(const Config& config) {
  const size_t units = static_cast<size_t>(config.units);
  std::vector<uint8_t> block(kDeviceStatusOffset + units, 0);
  block[kSystemFlagsOffset] = config.systemFlags;
  block[kTransmitterOffset] =
      static_cast<uint8_t>(((config.ercAddress & 0x0F) << 4) | (config.transmitterNumber & 0x03));
  for (size_t i = 0; i < 6 && i < config.measurementRate.size(); ++i) {
    block[kMeasurementRateOffset + i] = static_cast<uint8_t>(config.measurementRate[i]);
  }
  block[kChassisOffset] = static_cast<uint8_t>(config.chassisId);
  for (size_t i = 0; i < units; ++i) {
    block[kDeviceStatusOffset + i] = i < config.deviceStatus.size()
                                         ? config.deviceStatus[i]
                                         : defaultDeviceStatus(config, static_cast<int>(i) + 1);
  }
  return block;
}

std::vector<uint8_t> makeUnitBlock(const UnitSetup& setup) {
  std::vector<uint8_t> block(kUnitBlockSize, 0);
  block[kReportRateOffset] = static_cast<uint8_t>(setup.reportRate);
  writeU16be(&block[kScalingOffset], setup.scaling);
  block[kHemisphereOffset] = setup.hemisphere;
  for (size_t i = 0; i < 7; ++i) {
    writeU16be(&block[kAlphaMinOffset + 2 * i], setup.alphaMin[i]);
    writeU16be(&block[kAlphaMaxOffset + 2 * i], setup.alphaMax[i]);
    writeU16be(&block[kVmOffset + 2 * i], setup.vm[i]);
  }
  for (size_t i = 0; i < 3; ++i) {
    writeU16be(&block[kAnglesOffset + 2 * i], static_cast<uint16_t>(setup.angles[i]));
  }
  return block;
}

DeviceModel::DeviceModel(const Config& config) {
  blocks_.push_back(makeSystemBlock(config));
  for (int a = 1; a <= config.units; ++a) {
    const size_t i = static_cast<size_t>(a - 1);
    blocks_.push_back(
        makeUnitBlock(i < config.unitSetups.size() ? config.unitSetups[i] : config.unitDefaults));
    if (a != config.ercAddress) sensors_.push_back(a);
  }
}

std::vector<uint8_t> DeviceModel::reply(const std::vector<uint8_t>& command) const {
  const uint8_t unit = command[kUnitOffset];
  const bool onBus = unit < blocks_.size();
  if (!answers(command[kTypeOffset])) return {};
  switch (command[kTypeOffset]) {
    case kWakeUp:
      return makeHeader(kWakeUpReply, unit, 0, 0);
    case kShutDown:
      return makeHeader(kShutDownReply, unit, 0, 0);
    case kGetStatus: {
      if (!onBus) return makeHeader(kStatusReply, unit, kErrorNoSuchUnit, 0);
      std::vector<uint8_t> reply =
          makeHeader(kStatusReply, unit, 0, static_cast<uint16_t>(blocks_[unit].size()));
      reply.insert(reply.end(), blocks_[unit].begin(), blocks_[unit].end());
      return reply;
    }
    case kSendSetup:
      if (!onBus) return makeHeader(kSetupReply, unit, kErrorNoSuchUnit, 0);
      if (command.size() - kHeaderSize != blocks_[unit].size()) {
        return makeHeader(kSetupReply, unit, kErrorBadSetup, 0);
      }
      return makeHeader(kSetupReply, unit, 0, 0);
    case kRunContinuous:
      return makeHeader(kRunReply, unit, 0, 0);
    case kStopData:
      return makeHeader(kStopReply, unit, 0, 0);
    default:
      return {};
  }
}

void DeviceModel::carryOut(const std::vector<uint8_t>& command) {
  if (command[kTypeOffset] != kSendSetup) return;
  const size_t unit = command[kUnitOffset];
  if (unit < blocks_.size() && command.size() - kHeaderSize == blocks_[unit].size()) {
    blocks_[unit].assign(command.begin() + kHeaderSize, command.end());
  }
}

std::vector<uint8_t> DeviceModel::statusBlock(int unitAddress) const {
  if (unitAddress < 0 || static_cast<size_t>(unitAddress) >= blocks_.size()) return {};
  return blocks_[static_cast<size_t>(unitAddress)];
}

uint8_t DeviceModel::hemisphere(int unitAddress) const {
  if (unitAddress < 1 || static_cast<size_t>(unitAddress) >= blocks_.size()) return 0xFF;
  return blocks_[static_cast<size_t>(unitAddress)][kHemisphereOffset];
}

}  // namespace sim
