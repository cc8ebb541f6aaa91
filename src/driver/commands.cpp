// The protocol operations of the device: its settings turned into the
// exchanges of src/protocol/, all on the device's one connection.
#include "common/logger.h"
#include "driver/motionstar.h"
#include "net/socket.h"
#include "protocol/exchange.h"
#include "protocol/setup.h"

namespace {

// The exchanges need the connection that init prepares; without one they
// fail instead of reaching for a socket that is not there.
CSocketH* ready(const std::unique_ptr<CSocketH>& connection, const CLogH& log) {
  if (!connection) logh::error(log, "CMotionStar: The device has not been initialised.");
  return connection.get();
}

}  // namespace

bool CMotionStar::prepareConnection() {
  connection = std::make_unique<CSocketH>(logger);
  if (settings.protocol == Transport::kUdp) {
    logh::debug(log(), "CMotionStar: Preparing for UDP connection.");
    return connection->openSocket(CSocketH::kUdp) && connection->bindLocal(settings.localPort) &&
           connection->setDestHost(settings.deviceAddress, settings.devicePort);
  }
  logh::debug(log(), "CMotionStar: Preparing for TCP connection.");
  return connection->openSocket(CSocketH::kTcp) &&
         connection->setDestHost(settings.deviceAddress, settings.devicePort) &&
         connection->connectDest();
}

bool CMotionStar::wakeUp() {
  CSocketH* socket = ready(connection, log());
  return socket && proto::wakeUp(*socket, log());
}

int32_t CMotionStar::getStatus(uint8_t* buffer, uint8_t unitAddress) {
  CSocketH* socket = ready(connection, log());
  return socket ? proto::getStatus(*socket, log(), buffer, unitAddress) : 0;
}

bool CMotionStar::sendSystemSetup() {
  CSocketH* socket = ready(connection, log());
  return socket &&
         proto::sendSystemSetup(*socket, log(), {settings.ercId, settings.measurementRate});
}

bool CMotionStar::sendUnitSetup(uint8_t unitAddress) {
  CSocketH* socket = ready(connection, log());
  if (!socket) return false;
  proto::UnitSettings unit{};
  unit.reportRate = settings.reportRate;
  unit.hemisphere = settings.hemisphere;
  unit.alphaMin = settings.alphaMin;
  unit.alphaMinGiven = settings.alphaMinGiven;
  unit.alphaMax = settings.alphaMax;
  unit.alphaMaxGiven = settings.alphaMaxGiven;
  unit.vmTable = settings.vmTable;
  unit.vmGiven = settings.vmGiven;
  unit.caveCoordinates = usesCaveCoordinates();
  // Only addresses on this device's bus have a scale entry.
  float* scale = nullptr;
  if (positionScale && unitAddress >= 1 && unitAddress <= settings.numDevices) {
    scale = &positionScale[unitAddress - 1];
  }
  return proto::sendUnitSetup(*socket, log(), unitAddress, unit, scale);
}

bool CMotionStar::printSystemStatus() {
  CSocketH* socket = ready(connection, log());
  return socket && proto::printSystemStatus(*socket, log(), settings.ercId);
}

bool CMotionStar::printUnitSetup(uint8_t unitAddress) {
  CSocketH* socket = ready(connection, log());
  return socket && proto::printUnitSetup(*socket, log(), unitAddress);
}

bool CMotionStar::runContinuous() {
  CSocketH* socket = ready(connection, log());
  return socket && proto::runContinuous(*socket, log());
}

bool CMotionStar::stopData() {
  CSocketH* socket = ready(connection, log());
  return socket && proto::stopData(*socket, log());
}

bool CMotionStar::shutDown() {
  CSocketH* socket = ready(connection, log());
  return socket && proto::shutDown(*socket, log());
}
