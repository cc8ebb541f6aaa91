#include "host/output.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <sstream>

namespace {

// Lines kept for the table's message area.
constexpr size_t kShownMessages = 6;

uint32_t be32(uint32_t stored) {
  const auto* p = reinterpret_cast<const uint8_t*>(&stored);
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int32_t signedBe32(int32_t stored) {
  return static_cast<int32_t>(be32(static_cast<uint32_t>(stored)));
}

double stampOf(const RecordHeader& header) {
  return be32(header.seconds) + be32(header.microseconds) / 1e6;
}

const char* kindName(Publication::Kind kind) {
  return kind == Publication::kTracker ? "tracker" : "controller";
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string hostSeconds(int64_t micros) {
  char text[64];
  std::snprintf(text, sizeof text, "%" PRId64 ".%06" PRId64, micros / 1000000, micros % 1000000);
  return text;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

// Device names come from the user's file: escape what JSON needs escaped.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

bool parseFormat(const char* name, Format* format) {
  const std::pair<const char*, Format> names[] = {
      {"table", Format::kTable}, {"jsonl", Format::kJsonl}, {"csv", Format::kCsv}};
  for (const auto& [text, value] : names) {
    if (std::strcmp(name, text) == 0) {
      *format = value;
      return true;
    }
  }
  return false;
}

int64_t hostMicrosNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

Publication decodeTracker(const std::string& device, const TraData& record) {
  Publication p;
  p.kind = Publication::kTracker;
  p.device = device;
  p.id = be32(record.header.id);
  p.time = stampOf(record.header);
  for (int i = 0; i < 6; ++i) p.pose[i] = signedBe32(record.pose[i]) / 100000.0;
  return p;
}

Publication decodeController(const std::string& device, const ConData& record) {
  Publication p;
  p.kind = Publication::kController;
  p.device = device;
  p.id = be32(record.header.id);
  p.time = stampOf(record.header);
  uint32_t valuators = be32(record.valuatorCount);
  uint32_t buttons = be32(record.buttonCount);
  for (uint32_t i = 0; i < valuators && i < 32; ++i) {
    p.valuators.push_back(signedBe32(record.valuators[i]) / 1000.0);
  }
  for (uint32_t b = 0; b < buttons && b < 32; ++b) {
    p.buttons.push_back((record.buttons[b / 8] >> (b % 8)) & 1);
  }
  return p;
}

Output::Output(Format format, std::FILE* stream, std::string streamName)
    : format_(format), stream_(stream), streamName_(std::move(streamName)) {}

std::string Output::jsonLine(const Publication& p) {
  std::ostringstream out;
  out << "{\"time\":" << fixed(p.time, 6) << ",\"host_time_us\":" << p.hostMicros
      << ",\"device\":" << jsonString(p.device) << ",\"type\":\"" << kindName(p.kind)
      << "\",\"id\":" << p.id;
  if (p.kind == Publication::kTracker) {
    const char* names[] = {"x", "y", "z", "azimuth", "elevation", "roll"};
    for (int i = 0; i < 6; ++i) out << ",\"" << names[i] << "\":" << fixed(p.pose[i], 5);
  } else {
    out << ",\"valuators\":[";
    for (size_t i = 0; i < p.valuators.size(); ++i) {
      out << (i ? "," : "") << fixed(p.valuators[i], 3);
    }
    out << "],\"buttons\":[";
    for (size_t i = 0; i < p.buttons.size(); ++i) out << (i ? "," : "") << p.buttons[i];
    out << "]";
  }
  out << "}";
  return out.str();
}

std::string Output::jsonLine(const StatusRecord& s) {
  return "{\"time\":" + hostSeconds(s.hostMicros) +
         ",\"host_time_us\":" + std::to_string(s.hostMicros) +
         ",\"device\":" + jsonString(s.device) + ",\"type\":\"status\",\"state\":\"" + s.state +
         "\",\"reason\":" + jsonString(s.reason) + ",\"dropouts\":" + std::to_string(s.dropouts) +
         ",\"recoveries\":" + std::to_string(s.recoveries) +
         ",\"last_data\":" + fixed(s.lastData, 3) + "}";
}

std::string Output::csvHeader() {
  return "time,host_time_us,device,type,id,x,y,z,azimuth,elevation,roll,valuators,buttons,"
         "state,reason,dropouts,recoveries,last_data";
}

std::string Output::csvLine(const Publication& p) {
  std::ostringstream out;
  out << fixed(p.time, 6) << "," << p.hostMicros << "," << csvField(p.device) << ","
      << kindName(p.kind) << "," << p.id;
  if (p.kind == Publication::kTracker) {
    for (double value : p.pose) out << "," << fixed(value, 5);
    out << ",,";
  } else {
    out << ",,,,,,,";
    for (size_t i = 0; i < p.valuators.size(); ++i)
      out << (i ? ";" : "") << fixed(p.valuators[i], 3);
    out << ",";
    for (size_t i = 0; i < p.buttons.size(); ++i) out << (i ? ";" : "") << p.buttons[i];
  }
  out << ",,,,,";
  return out.str();
}

std::string Output::csvLine(const StatusRecord& s) {
  return hostSeconds(s.hostMicros) + "," + std::to_string(s.hostMicros) + "," + csvField(s.device) +
         ",status,,,,,,,,,," + s.state + "," + csvField(s.reason) + "," +
         std::to_string(s.dropouts) + "," + std::to_string(s.recoveries) + "," +
         fixed(s.lastData, 3);
}

void Output::writeLine(const std::string& line) {
  if (format_ == Format::kCsv && !headerWritten_) {
    headerWritten_ = true;
    writeText(csvHeader() + "\n");
  }
  writeText(line + "\n");
}

void Output::writeText(const std::string& text) {
  if (!failure_.empty()) return;
  errno = 0;
  if (std::fputs(text.c_str(), stream_) < 0 || std::fflush(stream_) != 0) {
    const int code = errno;
    failure_ = streamName_ + " can no longer be written" +
               (code != 0 ? std::string(" (") + std::strerror(code) + ")" : std::string());
  }
}

void Output::publish(const Publication& p) {
  for (RecordSink* sink : sinks_) sink->publish(p);
  std::lock_guard<std::mutex> lock(mutex_);
  switch (format_) {
    case Format::kJsonl:
      writeLine(jsonLine(p));
      break;
    case Format::kCsv:
      writeLine(csvLine(p));
      break;
    case Format::kTable:
      (p.kind == Publication::kTracker ? trackers_ : controllers_)[{p.device, p.id}] = p;
      break;
  }
}

void Output::status(const StatusRecord& s) {
  for (RecordSink* sink : sinks_) sink->status(s);
  std::lock_guard<std::mutex> lock(mutex_);
  if (format_ == Format::kJsonl) writeLine(jsonLine(s));
  if (format_ == Format::kCsv) writeLine(csvLine(s));
}

void Output::readDone(const std::string& device, uint64_t packets, uint64_t failures) {
  for (RecordSink* sink : sinks_) sink->readDone(device, packets, failures);
}

void Output::message(const std::string& line) {
  if (format_ != Format::kTable) return;
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back(line);
  if (messages_.size() > kShownMessages) messages_.pop_front();
}

bool Output::failed(std::string* why) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failure_.empty()) return false;
  *why = failure_;
  return true;
}

void Output::render(double now, const std::vector<DeviceRow>& devices, const std::string& footer) {
  if (format_ != Format::kTable) return;
  std::lock_guard<std::mutex> lock(mutex_);
  std::string screen = "\x1b[H\x1b[2J";  // home, clear: redraw in place
  char line[256];
  screen += title_ + "\n\n";
  std::snprintf(line, sizeof line, "%-12s %3s %9s %9s %9s %9s %9s %9s %7s\n", "device", "id",
                "x ft", "y ft", "z ft", "azimuth", "elevation", "roll", "age s");
  screen += line;
  for (const auto& [key, p] : trackers_) {
    std::snprintf(line, sizeof line, "%-12.12s %3u %9.3f %9.3f %9.3f %9.2f %9.2f %9.2f %7.2f\n",
                  key.first.c_str(), key.second, p.pose[0], p.pose[1], p.pose[2], p.pose[3],
                  p.pose[4], p.pose[5], now - p.time);
    screen += line;
  }
  if (!controllers_.empty()) {
    screen += "\nwand         id  valuators            buttons\n";
    for (const auto& [key, p] : controllers_) {
      std::string valuators, buttons;
      for (double v : p.valuators) valuators += fixed(v, 3) + " ";
      for (int b : p.buttons) buttons += b ? "1 " : "0 ";
      std::snprintf(line, sizeof line, "%-12.12s %3u  %-20s %s\n", key.first.c_str(), key.second,
                    valuators.c_str(), buttons.c_str());
      screen += line;
    }
  }
  if (!devices.empty()) {
    screen += "\ndevice       state       packets/s    gap s  dropouts  recoveries  failures\n";
  }
  for (const DeviceRow& d : devices) {
    std::snprintf(line, sizeof line,
                  "%-12.12s %-10s %10.1f %8.2f  %8" PRIu64 "  %10" PRIu64 "  %8" PRIu64 "\n",
                  d.device.c_str(), d.state.c_str(), d.rate, d.gap, d.dropouts, d.recoveries,
                  d.failures);
    screen += line;
  }
  for (RecordSink* sink : sinks_) {
    const std::string summary = sink->summary();
    if (!summary.empty()) screen += "\n" + summary + "\n";
  }
  if (!footer.empty()) screen += "\n" + footer;
  if (!messages_.empty()) {
    screen += "\n";
    for (const std::string& message : messages_) screen += message.substr(0, 200) + "\n";
  }
  writeText(screen);
}
