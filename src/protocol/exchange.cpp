#include "protocol/exchange.h"

#include "common/logger.h"
#include "protocol/limits.h"
#include "protocol/packet.h"

namespace proto {
namespace {

struct Messages {
  const char* start;
  const char* sendFailed;
  const char* readFailed;
  const char* wrongReply;
  const char* done;
};

const Messages kWakeUpMessages{
    "CMotionStar: Sending WAKE_UP command.", "CMotionStar: Sending WAKE_UP command failed.",
    "CMotionStar: Getting ACK for WAKE_UP command failed.",
    "CMotionStar: WAKE_UP command incompleted.", "CMotionStar: Sending WAKE_UP command done."};
const Messages kShutDownMessages{
    "CMotionStar: Sending SHUT_DOWN command.", "CMotionStar: Sending SHUT_DOWN command failed.",
    "CMotionStar: Getting ACK for SHUT_DOWN command failed.",
    "CMotionStar: SHUT_DOWN command incompleted.", "CMotionStar: Sending SHUT_DOWN command done."};
const Messages kGetStatusMessages{"CMotionStar: Sending GET_STATUS command.",
                                  "CMotionStar: Sending GET_STATUS command failed.",
                                  "CMotionStar: Getting ACK for GET_STATUS command failed.",
                                  "CMotionStar: GET_STATUS command incompleted.",
                                  "CMotionStar: Sending GET_STATUS command done."};
const Messages kSendSetupMessages{
    "CMotionStar: Sending SEND_SETUP command.", "CMotionStar: Sending SEND_SETUP command failed.",
    "CMotionStar: Getting SETUP data failed.", "CMotionStar: SEND_SETUP command incompleted.",
    "CMotionStar: Sending SEND_SETUP command done."};
const Messages kRunContinuousMessages{"CMotionStar: Sending RUN_CONTINUOUS command.",
                                      "CMotionStar: Sending RUN_CONTINUOUS command failed.",
                                      "CMotionStar: Getting ACK for RUN_CONTINUOUS command failed.",
                                      "CMotionStar: Sending RUN_CONTINUOUS command failed.",
                                      "CMotionStar: Sending RUN_CONTINUOUS command done."};
const Messages kStopDataMessages{
    "CMotionStar: Sending STOP_DATA command.", "CMotionStar: Sending STOP_DATA command failed.",
    "CMotionStar: Getting ACK for STOP_DATA command failed.",
    "CMotionStar: STOP_DATA command incompleted.", "CMotionStar: Sending STOP_DATA command done."};

constexpr const char* kTimeOut = "CMotionStar: Time out for waiting reply.";
constexpr const char* kWrongPacket = "WARNING: CMotionStar: Got wrong packet.";
constexpr const char* kSizeLine = "CMotionStar: size:%d, type:%d, error code:%d\n";

// One bounded receive.
int32_t receive(CSocketH& socket, uint8_t* buffer, int32_t capacity, WaitTime wait) {
  socket.setReceiveWait(true, wait.seconds, wait.microseconds);
  return socket.recvBytes(buffer, capacity);
}

// A read that came up short ends the exchange; a read of nothing means the
// system did not answer in time.
void reportShortRead(const CLogH& log, int32_t got, const char* readFailed) {
  if (got == 0) logh::warning(log, kTimeOut);
  logh::error(log, readFailed);
}

// On a stream, a skipped packet is skipped whole: a data packet of a
// running stream would otherwise be read as several 16-byte packets, and
// the reply that follows it would never line up. Returns 1 when done, else
// what the failing receive returned.
int32_t skipBody(CSocketH& socket, const uint8_t* header, WaitTime wait) {
  if (!socket.isStream()) return 1;
  uint8_t discard[kMaxReplyBytes];
  for (uint32_t left = byteCount(header); left > 0;) {
    int32_t want = static_cast<int32_t>(left < sizeof discard ? left : sizeof discard);
    int32_t got = receive(socket, discard, want, wait);
    if (got <= 0) return got;
    left -= static_cast<uint32_t>(got);
  }
  return 1;
}

// The four commands that carry no data and are answered by a bare header.
bool simpleExchange(CSocketH& socket, const CLogH& log, Command command, const Messages& text,
                    WaitTime wait) {
  logh::debug(log, text.start);
  uint8_t packet[kHeaderBytes];
  buildCommand(packet, command, 0);
  if (socket.sendBytes(packet, kHeaderBytes) != static_cast<int32_t>(kHeaderBytes)) {
    logh::error(log, text.sendFailed);
    return false;
  }
  const uint8_t expected = replyCode(command);
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    int32_t got = receive(socket, packet, kHeaderBytes, wait);
    if (got != static_cast<int32_t>(kHeaderBytes)) {
      reportShortRead(log, got, text.readFailed);
      return false;
    }
    if (packetType(packet) != expected) {
      logh::debug(log, kWrongPacket);
      got = skipBody(socket, packet, wait);
      if (got <= 0) {
        reportShortRead(log, got, text.readFailed);
        return false;
      }
      continue;
    }
    if (command == kWakeUp && errorCode(packet) != 0) {
      // The system is still running or in a fault state from an earlier
      // session: stop and shut it down, then its WAKE_UP reply follows.
      if (!stopData(socket, log) || !shutDown(socket, log)) return false;
      continue;
    }
    break;
  }
  logh::debugf(log, kSizeLine, static_cast<int>(kHeaderBytes), packetType(packet),
               errorCode(packet));
  if (packetType(packet) == expected && errorCode(packet) == 0) {
    logh::debug(log, text.done);
    return true;
  }
  logh::error(log, text.wrongReply);
  return false;
}

}  // namespace

bool wakeUp(CSocketH& socket, const CLogH& deviceLog) {
  return simpleExchange(socket, deviceLog, kWakeUp, kWakeUpMessages, wakeUpWait());
}

bool shutDown(CSocketH& socket, const CLogH& deviceLog) {
  return simpleExchange(socket, deviceLog, kShutDown, kShutDownMessages, replyWait());
}

bool runContinuous(CSocketH& socket, const CLogH& deviceLog) {
  return simpleExchange(socket, deviceLog, kRunContinuous, kRunContinuousMessages, replyWait());
}

bool stopData(CSocketH& socket, const CLogH& deviceLog) {
  return simpleExchange(socket, deviceLog, kStopData, kStopDataMessages, replyWait());
}

int32_t getStatus(CSocketH& socket, const CLogH& log, uint8_t* buffer, uint8_t unit) {
  const Messages& text = kGetStatusMessages;
  logh::debug(log, text.start);
  uint8_t command[kHeaderBytes];
  buildCommand(command, kGetStatus, unit);
  if (socket.sendBytes(command, kHeaderBytes) != static_cast<int32_t>(kHeaderBytes)) {
    logh::error(log, text.sendFailed);
    return 0;
  }
  const uint8_t expected = replyCode(kGetStatus);
  int32_t got = 0;
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    got = receive(socket, buffer, kMaxReplyBytes, replyWait());
    if (got < static_cast<int32_t>(kHeaderBytes)) {
      reportShortRead(log, got, text.readFailed);
      return 0;
    }
    if (packetType(buffer) == expected) break;
    logh::debug(log, kWrongPacket);
  }
  logh::debugf(log, kSizeLine, got, packetType(buffer), errorCode(buffer));
  if (packetType(buffer) == expected && errorCode(buffer) == 0) {
    logh::debug(log, text.done);
    return got;
  }
  logh::error(log, text.wrongReply);
  return 0;
}

bool sendSetup(CSocketH& socket, const CLogH& log, uint8_t unit, const SetupEditor& edit) {
  const Messages& text = kSendSetupMessages;
  uint8_t packet[kStatusBufferBytes] = {};
  int32_t length = getStatus(socket, log, packet, unit);
  if (length == 0) return false;
  edit(packet, length);
  packet[kTypeOffset] = kSendSetup;
  packet[kUnitOffset] = unit;
  packet[kVersionOffset] = kProtocolVersion;
  logh::debug(log, text.start);
  if (socket.sendBytes(packet, length) != length) {
    logh::error(log, text.sendFailed);
    return false;
  }
  int32_t got = receive(socket, packet, kMaxReplyBytes, replyWait());
  if (got < static_cast<int32_t>(kHeaderBytes)) {
    reportShortRead(log, got, text.readFailed);
    return false;
  }
  if (packetType(packet) == replyCode(kSendSetup) && errorCode(packet) == 0) {
    logh::debug(log, text.done);
    return true;
  }
  logh::error(log, text.wrongReply);
  return false;
}

}  // namespace proto
