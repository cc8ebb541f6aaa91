// Writing a capture file with libpcap: a pcap file of Ethernet frames that
// tcpdump, Wireshark and the replay read. The only place that calls
// libpcap's writing side.
#ifndef MOTIONSTAR_SIM_CAPTURE_WRITER_H
#define MOTIONSTAR_SIM_CAPTURE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class CaptureWriter {
 public:
  CaptureWriter() = default;
  ~CaptureWriter() { close(); }
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;

  // Creates (or replaces) the file; false with *error saying why, also in
  // a build without libpcap.
  bool open(const std::string& path, std::string* error);
  bool isOpen() const { return dumper_ != nullptr; }
  // Appends one Ethernet frame stamped `timeUs` (microseconds since 1970)
  // and hands it to the file at once, so a recording cut off by a crash
  // keeps what came before.
  void write(int64_t timeUs, const uint8_t* frame, size_t length);
  void close();

 private:
  void* pcap_ = nullptr;    // pcap_t
  void* dumper_ = nullptr;  // pcap_dumper_t
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_CAPTURE_WRITER_H
