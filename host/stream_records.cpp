#include "host/stream_records.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace stream = motionstar::stream;

bool toStreamRecord(const Publication& p, stream::Record* record) {
  if (p.device.size() > stream::kMaxDeviceName) return false;
  stream::Record r;
  r.kind = p.kind == Publication::kTracker ? stream::Kind::kTracker : stream::Kind::kController;
  std::memcpy(r.device, p.device.data(), p.device.size());
  r.id = p.id;
  // The driver stamps whole milliseconds; rounding undoes the sum's binary error.
  const long long milliseconds = std::llround(p.time * 1000);
  r.stampSeconds = static_cast<uint32_t>(milliseconds / 1000);
  r.stampMilliseconds = static_cast<uint16_t>(milliseconds % 1000);
  for (int i = 0; i < 6; ++i) r.pose[i] = p.pose[i];
  r.valuatorCount = static_cast<uint8_t>(std::min<size_t>(p.valuators.size(), 32));
  for (int i = 0; i < r.valuatorCount; ++i) r.valuators[i] = p.valuators[i];
  r.buttonCount = static_cast<uint8_t>(std::min<size_t>(p.buttons.size(), 32));
  for (int b = 0; b < r.buttonCount; ++b) {
    if (p.buttons[b] != 0) r.buttons |= uint32_t{1} << b;
  }
  *record = r;
  return true;
}

Publication fromStreamRecord(const stream::Record& r) {
  Publication p;
  p.kind = r.kind == stream::Kind::kController ? Publication::kController : Publication::kTracker;
  p.device = r.device;
  p.id = r.id;
  p.time = r.stampSeconds + r.stampMilliseconds / 1000.0;
  if (p.kind == Publication::kTracker) {
    for (int i = 0; i < 6; ++i) p.pose[i] = r.pose[i];
  } else {
    p.valuators.assign(r.valuators, r.valuators + r.valuatorCount);
    for (int b = 0; b < r.buttonCount; ++b) p.buttons.push_back((r.buttons >> b) & 1);
  }
  return p;
}

std::string topicOf(const Publication& p) {
  return p.device + (p.kind == Publication::kTracker ? "/tracker/" : "/controller/") +
         std::to_string(p.id);
}

std::string statusJson(const stream::Record& s) {
  char numbers[160];
  std::snprintf(numbers, sizeof numbers,
                "\"state\":\"%s\",\"dropouts\":%" PRIu32 ",\"recoveries\":%" PRIu32
                ",\"packets\":%" PRIu64 ",\"failures\":%" PRIu64 "}",
                stream::stateName(s.state), s.dropouts, s.recoveries, s.packets, s.failures);
  char time[32];
  std::snprintf(time, sizeof time, "%.6f", s.stampSeconds + s.stampMilliseconds / 1000.0);
  return std::string("{\"time\":") + time + ",\"device\":" + jsonString(s.device) +
         ",\"type\":\"status\"," + numbers;
}
