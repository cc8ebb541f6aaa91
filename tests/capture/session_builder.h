// Captures made in memory for the tests: the frames of a TCP or UDP session
// between a driver and a device, with sequence numbers kept as a real
// connection keeps them, so a test can drop, repeat or reorder frames.
#ifndef MOTIONSTAR_TESTS_CAPTURE_SESSION_BUILDER_H
#define MOTIONSTAR_TESTS_CAPTURE_SESSION_BUILDER_H

#include <cstdint>
#include <vector>

#include "sim/capture_reader.h"

namespace capturetest {

using Bytes = std::vector<uint8_t>;

// A header as the tables give it: type, unit, version 3, error, byte count;
// `data` follows it.
Bytes packet(uint8_t type, uint8_t unit = 0, uint8_t error = 0, const Bytes& data = {});
// A data packet of two unit records (addresses 2 and 3) whose words all
// carry `index`, and an aux record without wand bytes.
Bytes dataPacket(uint16_t index);

class SessionBuilder {
 public:
  // TCP from 10.0.0.1:40000 to the device 10.0.0.2:6000, or UDP from
  // 10.0.0.1:9001 to 10.0.0.2:5000.
  explicit SessionBuilder(bool tcp, uint32_t clientIsn = 1000, uint32_t deviceIsn = 50000);

  // TCP: the three-way handshake.
  void handshake();
  // One segment or datagram; each frame is stamped 1 ms after the one before.
  void send(bool fromDevice, const Bytes& payload);
  // A whole exchange: the command, then its reply.
  void exchange(const Bytes& command, const Bytes& reply);
  // WAKE_UP, RUN_CONTINUOUS, then `count` data packets.
  void typicalSession(int count);

  sim::CaptureFile& capture() { return capture_; }

 private:
  bool tcp_;
  uint32_t clientNext_;
  uint32_t deviceNext_;
  uint16_t ipId_ = 0;
  int64_t timeUs_ = 1700000000000000;
  sim::CaptureFile capture_;
};

}  // namespace capturetest

#endif  // MOTIONSTAR_TESTS_CAPTURE_SESSION_BUILDER_H
