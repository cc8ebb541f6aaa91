#include "protocol/data_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/process.h"
#include "protocol/limits.h"

int32_t DataPacketReader::read(CSocketH& socket, uint8_t* buffer, int32_t requested) {
  proto::WaitTime wait = proto::dataWait();
  socket.setReceiveWait(true, wait.seconds, wait.microseconds);
  if (!socket.isStream()) return readDatagram(socket, buffer, requested);
  const int64_t started = platform::monotonicMilliseconds();
  const int32_t got =
      readFramed(socket, buffer, requested > 0 ? static_cast<size_t>(requested) : 0);
  if (got == 0) {
    // A connection the device closed reads as 0 bytes at once, every time; a
    // host calling again and again would spin. Nothing arriving takes the
    // data wait, whichever way it happens.
    const int64_t waitMs = int64_t{wait.seconds} * 1000 + wait.microseconds / 1000;
    const int64_t left = waitMs - (platform::monotonicMilliseconds() - started);
    if (left > 0) platform::sleepMilliseconds(static_cast<int32_t>(left));
  }
  return got;
}

int32_t DataPacketReader::readDatagram(CSocketH& socket, uint8_t* buffer, int32_t requested) {
  int32_t got = socket.recvBytes(buffer, requested);
  // Only the tracking system's datagrams are data; anything else that
  // reaches the local port is dropped.
  if (got > 0 &&
      socket.sourceAddress().addressNetwork != socket.destinationAddress().addressNetwork) {
    return 0;
  }
  return got;
}

int32_t DataPacketReader::readFramed(CSocketH& socket, uint8_t* buffer, size_t room) {
  const size_t headerBytes = proto::kHeaderBytes;
  while (headerFill < headerBytes) {
    int32_t got =
        socket.recvBytes(header + headerFill, static_cast<int32_t>(headerBytes - headerFill));
    if (got <= 0) return got;
    headerFill += static_cast<uint32_t>(got);
    if (headerFill == headerBytes) {
      bodyTotal = proto::byteCount(header);
      bodyFill = 0;
    }
  }
  uint8_t discard[256];
  while (bodyFill < bodyTotal) {
    size_t at = headerBytes + bodyFill;
    size_t want = bodyTotal - bodyFill;
    uint8_t* into = discard;
    if (at < room) {
      into = buffer + at;
      want = std::min(want, room - at);
    } else {
      want = std::min(want, sizeof discard);
    }
    int32_t got = socket.recvBytes(into, static_cast<int32_t>(want));
    if (got <= 0) return got;
    bodyFill += static_cast<uint32_t>(got);
  }
  std::memcpy(buffer, header, std::min(headerBytes, room));
  size_t placed = std::min(headerBytes + bodyTotal, room);
  headerFill = 0;
  bodyTotal = 0;
  bodyFill = 0;
  return static_cast<int32_t>(placed);
}
