// Records what the simulator's sockets carry as a capture file, as if
// tcpdump had watched the wire: Ethernet, IPv4 and UDP or TCP headers with
// their lengths and checksums, and for TCP the handshake, sequence and
// acknowledgement numbers and the close, so Wireshark follows the stream.
#ifndef MOTIONSTAR_SIM_CAPTURE_RECORDER_H
#define MOTIONSTAR_SIM_CAPTURE_RECORDER_H

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "sim/capture_frames.h"
#include "sim/capture_writer.h"
#include "sim/packet_tap.h"

namespace sim {

class CaptureRecorder final : public PacketTap {
 public:
  // Creates the file; false with *error saying why.
  bool open(const std::string& path, std::string* error);
  void close();

  void connected(const Flow& flow) override;
  void carried(const Flow& flow, bool fromDevice, const uint8_t* data, size_t length) override;
  void disconnected(const Flow& flow, Ending how) override;

 private:
  struct TcpState {
    uint32_t clientNext;  // the sequence number of the client's next byte
    uint32_t deviceNext;
  };
  using Key = std::pair<Endpoint, Endpoint>;  // device, client

  // Under the lock.
  TcpState& tcpState(const Key& key);
  void writeTcp(const Key& key, bool fromDevice, uint8_t flags, const uint8_t* data, size_t length);
  void writeFrame(const std::vector<uint8_t>& frame);

  std::mutex mutex_;
  CaptureWriter writer_;
  std::map<Key, TcpState> tcp_;
  uint16_t ipId_ = 1;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_CAPTURE_RECORDER_H
