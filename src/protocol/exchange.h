// Command exchanges with the tracking system: send a command, read replies
// until the expected one (skipping wrong packets), check its error code.
// Messages go to the device's logger; the socket reports its own failures.
#ifndef MOTIONSTAR_PROTOCOL_EXCHANGE_H
#define MOTIONSTAR_PROTOCOL_EXCHANGE_H

#include <cstdint>
#include <functional>

#include "motionstar/host_abi.h"
#include "net/socket.h"

namespace proto {

// WAKE_UP; a reply carrying an error code makes the system stop its data
// and shut down, then the WAKE_UP reply is awaited again.
bool wakeUp(CSocketH& socket, const CLogH& deviceLog);
bool shutDown(CSocketH& socket, const CLogH& deviceLog);
bool runContinuous(CSocketH& socket, const CLogH& deviceLog);
bool stopData(CSocketH& socket, const CLogH& deviceLog);

// GET_STATUS for a unit (0 = the system). The reply lands in buffer, which
// holds at least 256 bytes; returns its length, 0 on failure.
int32_t getStatus(CSocketH& socket, const CLogH& deviceLog, uint8_t* buffer, uint8_t unit);

// Edits a fetched status packet in place; the buffer holds kStatusBufferBytes
// and length of them arrived.
using SetupEditor = std::function<void(uint8_t* packet, int32_t length)>;

// SEND_SETUP: fetches the unit's status, lets edit change it and sends the
// whole packet back. The single reply is not skipped over when wrong.
bool sendSetup(CSocketH& socket, const CLogH& deviceLog, uint8_t unit, const SetupEditor& edit);

}  // namespace proto

#endif  // MOTIONSTAR_PROTOCOL_EXCHANGE_H
