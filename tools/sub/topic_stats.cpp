#include "tools/sub/topic_stats.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace {

constexpr size_t kLatencyWindow = 1024;

// The p-th percentile (0..1) of `values`, which it reorders.
int64_t percentile(std::vector<int64_t>& values, double p) {
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
  std::nth_element(values.begin(), values.begin() + static_cast<ptrdiff_t>(index), values.end());
  return values[index];
}

}  // namespace

bool TopicStats::add(const std::string& name, const Received& received, int64_t nowUs) {
  Topic& t = topics_[name];
  const bool replay = received.binary && (received.record.flags & motionstar::stream::kFlagReplay);
  if (received.binary && t.records > 0) {
    const uint32_t sequence = received.record.sequence;
    if (replay && sequence == t.lastSequence) {
      ++t.repeats;
      return false;
    }
    // A lower number than before: the host started again, numbering anew.
    if (sequence > t.lastSequence) t.lost += sequence - t.lastSequence - 1;
  }
  if (received.binary) t.lastSequence = received.record.sequence;
  if (t.records > 0) t.longestGapUs = std::max(t.longestGapUs, nowUs - t.lastUs);
  if (t.records == 0) t.firstUs = nowUs;
  t.lastUs = nowUs;
  ++t.records;
  // A replay was published before this subscriber joined: its age is not a latency.
  if (received.binary && !replay) {
    const int64_t latency = nowUs - static_cast<int64_t>(received.record.publishedMicroseconds);
    if (t.latencies.size() < kLatencyWindow) {
      t.latencies.push_back(latency);
    } else {
      t.latencies[t.nextLatency] = latency;
    }
    t.nextLatency = (t.nextLatency + 1) % kLatencyWindow;
    t.maxLatencyUs = t.hasLatency ? std::max(t.maxLatencyUs, latency) : latency;
    t.hasLatency = true;
  }
  return true;
}

uint64_t TopicStats::lost() const {
  uint64_t sum = 0;
  for (const auto& entry : topics_) sum += entry.second.lost;
  return sum;
}

std::string TopicStats::table(int64_t nowUs, bool live) {
  std::string text =
      "topic                          records   rate/s    lost  gap ms   latency ms: median"
      "     p99     max\n";
  char line[256];
  for (auto& [name, t] : topics_) {
    double rate = 0;
    if (live && lastTableUs_ > 0 && nowUs > lastTableUs_) {
      rate = (t.records - t.recordsAtLastTable) * 1e6 / static_cast<double>(nowUs - lastTableUs_);
    } else if (!live && t.lastUs > t.firstUs) {
      rate = (t.records - 1) * 1e6 / static_cast<double>(t.lastUs - t.firstUs);
    }
    t.recordsAtLastTable = t.records;
    int n = std::snprintf(line, sizeof line, "%-30.30s %8" PRIu64 " %8.1f %7" PRIu64 " %7.1f",
                          name.c_str(), t.records, rate, t.lost, t.longestGapUs / 1000.0);
    if (t.hasLatency) {
      std::vector<int64_t> window = t.latencies;
      std::snprintf(line + n, sizeof line - n, "  %19.3f %7.3f %7.3f\n",
                    percentile(window, 0.5) / 1000.0, percentile(window, 0.99) / 1000.0,
                    t.maxLatencyUs / 1000.0);
    } else {
      std::snprintf(line + n, sizeof line - n, "  %19s %7s %7s\n", "-", "-", "-");
    }
    text += line;
  }
  if (live) lastTableUs_ = nowUs;
  return text;
}
