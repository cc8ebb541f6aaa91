// The device's settings: what init makes of the device line and the device
// options. Each field holds its default, which stands when no option changes
// it.
#ifndef MOTIONSTAR_DRIVER_DEVICE_SETTINGS_H
#define MOTIONSTAR_DRIVER_DEVICE_SETTINGS_H

#include <cstdint>

#include "protocol/status_block.h"

// The transport the protocol option chooses. CSocketH::Kind numbers the same
// two the other way round; as types of their own the two cannot be mixed.
enum class Transport : int32_t { kTcp = 1, kUdp = 2 };

// Where the tracking system listens on each transport.
constexpr uint16_t devicePortFor(Transport transport) {
  return transport == Transport::kTcp ? 6000 : 5000;
}

enum class AddressingMode : int32_t { kNormal = 14, kExpanded = 30, kSuper = 126 };

enum class SyncMode : int32_t { kOff = 0, kType1 = 1, kType2 = 2 };

struct DeviceSettings {
  uint32_t numTrackers = 2;  // sensors, from the device line: 1 to 32
  uint32_t numDevices = 3;   // numTrackers + 1: the sensors and the transmitter unit
  uint16_t localPort = 9001;
  Transport protocol = Transport::kTcp;
  uint16_t devicePort = devicePortFor(Transport::kTcp);
  // The address MotionStar systems are shipped with on their private
  // tracking network; dotted IPv4 text or a host name, at most 99 characters.
  char deviceAddress[100] = "192.168.1.100";
  AddressingMode addressingMode = AddressingMode::kNormal;
  SyncMode syncMode = SyncMode::kType1;
  bool filterOn = false;
  uint32_t ercId = 1;  // device ID of the transmitter unit
  proto::Hemisphere hemisphere = proto::Hemisphere::kPlusZ;
  proto::ReportRate reportRate = proto::ReportRate::kEverySampling;
  char measurementRate[11] = "086100";  // six digits: samples per second x 1000
  uint16_t alphaMin[proto::kFilterWords] = {655, 655, 655, 655, 655, 655, 655};
  uint16_t alphaMax[proto::kFilterWords] = {29491, 29491, 29491, 29491, 29491, 29491, 29491};
  uint16_t vmTable[proto::kFilterWords] = {2, 4, 8, 32, 64, 256, 512};
  // A table reaches the units only when its option was given.
  bool alphaMinGiven = false;
  bool alphaMaxGiven = false;
  bool vmGiven = false;
  bool wandaOn = false;
  uint32_t wandaAuxPort = 0;  // shown by the report only
};

#endif  // MOTIONSTAR_DRIVER_DEVICE_SETTINGS_H
