// What the host shows of the published records: one line per publication
// (JSON lines or CSV) for recording and other programs, or a live table.
#ifndef MOTIONSTAR_HOST_OUTPUT_H
#define MOTIONSTAR_HOST_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "motionstar/host_abi.h"

// One published record, decoded from its big-endian, scaled form.
struct Publication {
  enum Kind { kTracker, kController };
  Kind kind = kTracker;
  std::string device;
  uint32_t id = 0;
  double time = 0;      // seconds since 1970, from the record header
  double pose[6] = {};  // x, y, z feet; azimuth, elevation, roll degrees
  std::vector<double> valuators;
  std::vector<int> buttons;
};

Publication decodeTracker(const std::string& device, const TraData& record);
Publication decodeController(const std::string& device, const ConData& record);

// `text` as a JSON string, quoted and escaped.
std::string jsonString(const std::string& text);

class PublicationSink;

enum class Format { kTable, kJsonl, kCsv };

// "table", "jsonl" or "csv"; false for anything else.
bool parseFormat(const char* name, Format* format);

class Output {
 public:
  // Records go to `stream`; in table format the table is drawn there.
  Output(Format format, std::FILE* stream);
  void publish(const Publication& publication);
  // Per-device counters shown in the table.
  void deviceStats(const std::string& device, uint64_t packets, uint64_t failures);
  // Redraws the table in place (table format only), `footer` below it.
  void render(double now, const std::string& footer = "");
  // Every publication is also written to `other` (a file of records).
  void alsoWriteTo(Output* other) { also_ = other; }
  // Every publication and device counter goes to `sink` too, before it is
  // printed; its summary line is shown under the table.
  void alsoSendTo(PublicationSink* sink) { sink_ = sink; }
  // The table's first line.
  void setTitle(const std::string& title) { title_ = title; }

  static std::string jsonLine(const Publication& publication);
  static std::string csvHeader();
  static std::string csvLine(const Publication& publication);

 private:
  struct Stats {
    uint64_t packets = 0, failures = 0, lastPackets = 0;
    double rate = 0, lastTime = 0;
  };
  Format format_;
  std::FILE* stream_;
  std::mutex mutex_;
  bool headerWritten_ = false;
  std::map<std::pair<std::string, uint32_t>, Publication> trackers_;
  std::map<std::pair<std::string, uint32_t>, Publication> controllers_;
  std::map<std::string, Stats> stats_;
  Output* also_ = nullptr;
  PublicationSink* sink_ = nullptr;
  std::string title_ = "mstar-host  (Ctrl-C stops the devices and exits)";
};

#endif  // MOTIONSTAR_HOST_OUTPUT_H
