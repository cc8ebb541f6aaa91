// Reading a capture file (pcap or pcapng, as tcpdump and Wireshark write
// them) with libpcap: every frame with its time, in file order. The only
// place that calls libpcap's reading side.
#ifndef MOTIONSTAR_SIM_CAPTURE_READER_H
#define MOTIONSTAR_SIM_CAPTURE_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/capture_frames.h"

namespace sim {

struct CapturedFrame {
  int64_t timeUs = 0;          // microseconds since 1970
  uint32_t wireLength = 0;     // the frame's length on the wire
  std::vector<uint8_t> bytes;  // what was captured of it
};

struct CaptureFile {
  LinkType link = LinkType::kEthernet;
  std::vector<CapturedFrame> frames;
};

// Whether this build reads and writes capture files (it has libpcap).
bool captureFilesSupported();

// Reads every frame of the file. False with *error naming the first
// problem: the file cannot be opened or is not a capture, its link type is
// not one the replay reads, or it ends inside a frame (a truncated file).
bool readCaptureFile(const std::string& path, CaptureFile* capture, std::string* error);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_CAPTURE_READER_H
