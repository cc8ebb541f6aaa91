// What a capture holds of one MotionStar session: the packets between the
// driver and the first device found on the tracking system's ports, each
// way, in the order they crossed the wire. TCP streams are put back
// together from their segments: retransmitted and duplicated bytes are
// dropped, segments that came out of order are put in place, and a stretch
// the capture lost is skipped up to the next packet that starts whole.
#ifndef MOTIONSTAR_SIM_CAPTURE_SESSION_H
#define MOTIONSTAR_SIM_CAPTURE_SESSION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/capture_frames.h"
#include "sim/capture_reader.h"
#include "sim/simulator.h"

namespace sim {

// The ports a MotionStar system listens on.
constexpr uint16_t kDeviceTcpPort = 6000;
constexpr uint16_t kDeviceUdpPort = 5000;

struct SessionPacket {
  bool fromDevice = false;
  int64_t timeUs = 0;  // when its last byte was captured
  size_t frame = 0;    // the number of that frame, 1 first (as Wireshark counts)
  std::vector<uint8_t> bytes;
};

struct CapturedSession {
  Transport transport = Transport::kTcp;
  Endpoint device;
  std::vector<SessionPacket> packets;
  // What was mended or left out on the way, one line each.
  std::vector<std::string> notes;
};

// The endpoint text "a.b.c.d:port".
std::string endpointText(const Endpoint& endpoint);

// Finds the session in the frames. False with *problem naming the first
// thing that keeps it from being one: no packet on the ports, a packet cut
// short by the capture, a fragment, or a packet to the device that is not
// a command.
bool extractSession(const CaptureFile& capture, CapturedSession* session, std::string* problem);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_CAPTURE_SESSION_H
