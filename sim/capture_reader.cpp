#include "sim/capture_reader.h"

#if defined(MOTIONSTAR_HAVE_PCAP)
#include <pcap/pcap.h>
#endif

namespace sim {

#if defined(MOTIONSTAR_HAVE_PCAP)

namespace {

bool linkTypeOf(int dlt, LinkType* link) {
  switch (dlt) {
    case DLT_EN10MB:
      *link = LinkType::kEthernet;
      return true;
    case DLT_LINUX_SLL:
      *link = LinkType::kLinuxCooked;
      return true;
#if defined(DLT_LINUX_SLL2)
    case DLT_LINUX_SLL2:
      *link = LinkType::kLinuxCooked2;
      return true;
#endif
    case DLT_RAW:
#if defined(DLT_IPV4)
    case DLT_IPV4:
#endif
      *link = LinkType::kRawIp;
      return true;
    case DLT_NULL:
      *link = LinkType::kLoopback;
      return true;
    case DLT_LOOP:
      *link = LinkType::kLoopbackNetwork;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool captureFilesSupported() {
  return true;
}

bool readCaptureFile(const std::string& path, CaptureFile* capture, std::string* error) {
  char message[PCAP_ERRBUF_SIZE] = "";
  pcap_t* pcap =
      pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_MICRO, message);
  if (pcap == nullptr) {
    *error = std::string("cannot be read as a packet capture (") + message + ")";
    return false;
  }
  const int dlt = pcap_datalink(pcap);
  if (!linkTypeOf(dlt, &capture->link)) {
    const char* name = pcap_datalink_val_to_name(dlt);
    *error = "its link type " + std::string(name != nullptr ? name : std::to_string(dlt)) +
             " is not one the replay reads (Ethernet, Linux cooked, raw IP or loopback)";
    pcap_close(pcap);
    return false;
  }
  capture->frames.clear();
  bool ok = true;
  for (;;) {
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int result = pcap_next_ex(pcap, &header, &data);
    if (result == PCAP_ERROR_BREAK) break;  // the end of the file
    if (result != 1) {
      *error = "packet " + std::to_string(capture->frames.size() + 1) +
               " cannot be read: " + pcap_geterr(pcap);
      ok = false;
      break;
    }
    CapturedFrame frame;
    frame.timeUs = static_cast<int64_t>(header->ts.tv_sec) * 1000000 + header->ts.tv_usec;
    frame.wireLength = header->len;
    frame.bytes.assign(data, data + header->caplen);
    capture->frames.push_back(std::move(frame));
  }
  pcap_close(pcap);
  return ok;
}

#else

bool captureFilesSupported() {
  return false;
}

bool readCaptureFile(const std::string&, CaptureFile*, std::string* error) {
  *error = "cannot be read: this build has no libpcap";
  return false;
}

#endif

}  // namespace sim
