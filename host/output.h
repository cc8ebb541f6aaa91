// What the host shows of the published records: one line per publication
// (JSON lines or CSV) for recording and other programs, or a live table;
// and a status record whenever a device's state changes.
#ifndef MOTIONSTAR_HOST_OUTPUT_H
#define MOTIONSTAR_HOST_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <deque>
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
  double time = 0;         // seconds since 1970, from the record header
  int64_t hostMicros = 0;  // when the host handed it on: microseconds since 1970
  double pose[6] = {};     // x, y, z feet; azimuth, elevation, roll degrees
  std::vector<double> valuators;
  std::vector<int> buttons;
};

Publication decodeTracker(const std::string& device, const TraData& record);
Publication decodeController(const std::string& device, const ConData& record);

// A device's change of state.
struct StatusRecord {
  std::string device;
  std::string state;  // starting, streaming, stale, lost, recovering, stopped
  std::string reason;
  uint64_t dropouts = 0;
  uint64_t recoveries = 0;
  double lastData = 0;  // seconds since 1970 of the device's last data; 0: none yet
  int64_t hostMicros = 0;
};

// The host's clock for records: microseconds since 1970.
int64_t hostMicrosNow();

// Where records and status records go: the screen, a file of records,
// the publisher to render nodes. Called on the devices' threads.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void publish(const Publication& publication) = 0;
  virtual void status(const StatusRecord& status) = 0;
  // A device's read is complete (its publications may leave together);
  // its counters so far.
  virtual void readDone(const std::string& /*device*/, uint64_t /*packets*/,
                        uint64_t /*failures*/) {}
  // One line for the live table and the end of the run; empty: none.
  virtual std::string summary() { return ""; }
};

// One device's line in the table.
struct DeviceRow {
  std::string device;
  std::string state;
  double rate = 0;  // packets per second
  double gap = 0;   // seconds since the last packet
  uint64_t dropouts = 0, recoveries = 0, failures = 0;
};

// `text` as a JSON string, quoted and escaped.
std::string jsonString(const std::string& text);

enum class Format { kTable, kJsonl, kCsv };

// "table", "jsonl" or "csv"; false for anything else.
bool parseFormat(const char* name, Format* format);

class Output : public RecordSink {
 public:
  // Records go to `stream` (called `streamName` in messages); in table
  // format the table is drawn there.
  Output(Format format, std::FILE* stream, std::string streamName = "standard output");
  void publish(const Publication& publication) override;
  void status(const StatusRecord& status) override;
  void readDone(const std::string& device, uint64_t packets, uint64_t failures) override;
  // Every publication, status record and end of a read goes to `sink`
  // first (render nodes before a terminal or pipe that may make us wait);
  // its summary line is shown under the table.
  void addSink(RecordSink* sink) { sinks_.push_back(sink); }
  // Redraws the table in place (table format only), `footer` below it.
  void render(double now, const std::vector<DeviceRow>& devices, const std::string& footer = "");
  // The table's first line.
  void setTitle(const std::string& title) { title_ = title; }
  // A message line, shown under the table (table format only).
  void message(const std::string& line);
  // True once the stream could not be written (a reader gone, a disk
  // full); *why then says so. Nothing more is written after that.
  bool failed(std::string* why) const;

  static std::string jsonLine(const Publication& publication);
  static std::string jsonLine(const StatusRecord& status);
  static std::string csvHeader();
  static std::string csvLine(const Publication& publication);
  static std::string csvLine(const StatusRecord& status);

 private:
  // Both hold mutex_ and record the first failure.
  void writeLine(const std::string& line);
  void writeText(const std::string& text);

  Format format_;
  std::FILE* stream_;
  std::string streamName_;
  mutable std::mutex mutex_;
  bool headerWritten_ = false;
  std::string failure_;
  std::map<std::pair<std::string, uint32_t>, Publication> trackers_;
  std::map<std::pair<std::string, uint32_t>, Publication> controllers_;
  std::deque<std::string> messages_;
  std::vector<RecordSink*> sinks_;
  std::string title_ = "mstar-host  (Ctrl-C stops the devices and exits)";
};

#endif  // MOTIONSTAR_HOST_OUTPUT_H
