#include "host/output.h"

#include <cinttypes>
#include <cstring>
#include <sstream>

#include "host/publication_sink.h"

namespace {

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

Output::Output(Format format, std::FILE* stream) : format_(format), stream_(stream) {}

std::string Output::jsonLine(const Publication& p) {
  std::ostringstream out;
  out << "{\"time\":" << fixed(p.time, 6) << ",\"device\":" << jsonString(p.device)
      << ",\"type\":\"" << kindName(p.kind) << "\",\"id\":" << p.id;
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

std::string Output::csvHeader() {
  return "time,device,type,id,x,y,z,azimuth,elevation,roll,valuators,buttons";
}

std::string Output::csvLine(const Publication& p) {
  std::ostringstream out;
  std::string device = p.device;
  if (device.find_first_of(",\"") != std::string::npos) {
    std::string quoted = "\"";
    for (char c : device) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    device = quoted + "\"";
  }
  out << fixed(p.time, 6) << "," << device << "," << kindName(p.kind) << "," << p.id;
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
  return out.str();
}

void Output::publish(const Publication& p) {
  // Render nodes first: printing can wait on a terminal or a pipe.
  if (sink_ != nullptr) sink_->publish(p);
  if (also_ != nullptr) also_->publish(p);
  std::lock_guard<std::mutex> lock(mutex_);
  switch (format_) {
    case Format::kJsonl:
      std::fprintf(stream_, "%s\n", jsonLine(p).c_str());
      std::fflush(stream_);
      break;
    case Format::kCsv:
      if (!headerWritten_) {
        std::fprintf(stream_, "%s\n", csvHeader().c_str());
        headerWritten_ = true;
      }
      std::fprintf(stream_, "%s\n", csvLine(p).c_str());
      std::fflush(stream_);
      break;
    case Format::kTable:
      (p.kind == Publication::kTracker ? trackers_ : controllers_)[{p.device, p.id}] = p;
      break;
  }
}

void Output::deviceStats(const std::string& device, uint64_t packets, uint64_t failures) {
  if (sink_ != nullptr) sink_->deviceStats(device, packets, failures);
  std::lock_guard<std::mutex> lock(mutex_);
  Stats& s = stats_[device];
  s.packets = packets;
  s.failures = failures;
}

void Output::render(double now, const std::string& footer) {
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
  if (!stats_.empty()) screen += "\ndevice       packets/s  failures\n";
  for (auto& [device, s] : stats_) {
    if (s.lastTime > 0 && now > s.lastTime) {
      s.rate = (s.packets - s.lastPackets) / (now - s.lastTime);
    }
    s.lastPackets = s.packets;
    s.lastTime = now;
    std::snprintf(line, sizeof line, "%-12.12s %9.1f  %8" PRIu64 "\n", device.c_str(), s.rate,
                  s.failures);
    screen += line;
  }
  if (sink_ != nullptr) screen += "\n" + sink_->summary() + "\n";
  if (!footer.empty()) screen += "\n" + footer;
  std::fputs(screen.c_str(), stream_);
  std::fflush(stream_);
}
