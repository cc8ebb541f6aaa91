#include "protocol/setup.h"

#include "protocol/exchange.h"
#include "protocol/packet.h"

namespace proto {

bool sendSystemSetup(CSocketH& socket, const CLogH& log, const SystemSettings& settings) {
  return sendSetup(socket, log, 0, [&](uint8_t* packet, int32_t) {
    writeSystemSetup(packet, kStatusBufferBytes, settings);
  });
}

bool sendUnitSetup(CSocketH& socket, const CLogH& log, uint8_t unit, const UnitSettings& settings,
                   float* positionScale) {
  return sendSetup(socket, log, unit, [&](uint8_t* packet, int32_t length) {
    if (positionScale != nullptr) {
      *positionScale = selectPositionScale(packet, static_cast<size_t>(length), *positionScale);
    }
    writeUnitSetup(packet, kStatusBufferBytes, settings);
  });
}

bool printSystemStatus(CSocketH& socket, const CLogH& log, uint32_t ercId) {
  uint8_t packet[kStatusBufferBytes] = {};
  int32_t length = getStatus(socket, log, packet, 0);
  if (length == 0) return false;
  printSystemReport(log, packet, static_cast<size_t>(length), ercId);
  return true;
}

bool printUnitSetup(CSocketH& socket, const CLogH& log, uint8_t unit) {
  uint8_t packet[kStatusBufferBytes] = {};
  int32_t length = getStatus(socket, log, packet, unit);
  if (length == 0) return false;
  printUnitReport(log, unit, packet, static_cast<size_t>(length));
  return true;
}

}  // namespace proto
