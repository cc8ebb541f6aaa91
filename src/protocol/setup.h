// The setup and status-report exchanges: status blocks fetched with
// GET_STATUS, rewritten and sent back with SEND_SETUP, or printed.
#ifndef MOTIONSTAR_PROTOCOL_SETUP_H
#define MOTIONSTAR_PROTOCOL_SETUP_H

#include <cstdint>

#include "motionstar/host_abi.h"
#include "net/socket.h"
#include "protocol/status_block.h"

namespace proto {

bool sendSystemSetup(CSocketH& socket, const CLogH& deviceLog, const SystemSettings& settings);
// positionScale: the unit's entry, set from the scaling word the device
// reported (before the setup is sent back); null when there is none.
bool sendUnitSetup(CSocketH& socket, const CLogH& deviceLog, uint8_t unit,
                   const UnitSettings& settings, float* positionScale);
// False only when the status cannot be fetched.
bool printSystemStatus(CSocketH& socket, const CLogH& deviceLog, uint32_t ercId);
bool printUnitSetup(CSocketH& socket, const CLogH& deviceLog, uint8_t unit);

}  // namespace proto

#endif  // MOTIONSTAR_PROTOCOL_SETUP_H
