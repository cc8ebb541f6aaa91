#include "sim/capture_writer.h"

#if defined(MOTIONSTAR_HAVE_PCAP)
#include <pcap/pcap.h>
#endif

namespace sim {

#if defined(MOTIONSTAR_HAVE_PCAP)

namespace {
constexpr int kSnapLength = 65535;
}  // namespace

bool CaptureWriter::open(const std::string& path, std::string* error) {
  close();
  pcap_t* pcap =
      pcap_open_dead_with_tstamp_precision(DLT_EN10MB, kSnapLength, PCAP_TSTAMP_PRECISION_MICRO);
  if (pcap == nullptr) {
    *error = "libpcap cannot make a capture";
    return false;
  }
  pcap_dumper_t* dumper = pcap_dump_open(pcap, path.c_str());
  if (dumper == nullptr) {
    *error = pcap_geterr(pcap);
    pcap_close(pcap);
    return false;
  }
  pcap_ = pcap;
  dumper_ = dumper;
  return true;
}

void CaptureWriter::write(int64_t timeUs, const uint8_t* frame, size_t length) {
  if (dumper_ == nullptr) return;
  pcap_pkthdr header{};
  header.ts.tv_sec = static_cast<decltype(header.ts.tv_sec)>(timeUs / 1000000);
  header.ts.tv_usec = static_cast<decltype(header.ts.tv_usec)>(timeUs % 1000000);
  header.caplen = header.len = static_cast<bpf_u_int32>(length);
  auto* dumper = static_cast<pcap_dumper_t*>(dumper_);
  pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame);
  pcap_dump_flush(dumper);
}

void CaptureWriter::close() {
  if (dumper_ != nullptr) pcap_dump_close(static_cast<pcap_dumper_t*>(dumper_));
  if (pcap_ != nullptr) pcap_close(static_cast<pcap_t*>(pcap_));
  dumper_ = nullptr;
  pcap_ = nullptr;
}

#else

bool CaptureWriter::open(const std::string&, std::string* error) {
  *error = "this build has no libpcap";
  return false;
}

void CaptureWriter::write(int64_t, const uint8_t*, size_t) {}

void CaptureWriter::close() {}

#endif

}  // namespace sim
