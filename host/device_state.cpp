#include "host/device_state.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace {

constexpr int64_t kRateWindowMs = 1000;
// Before two packets have shown the period.
constexpr int64_t kUnknownPeriodStaleMs = 1000;
constexpr double kStalePeriods = 10;

std::string seconds(int64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", milliseconds / 1000.0);
  return text;
}

std::string counted(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

int64_t Backoff::nextMs() {
  const int64_t wait = nextMs_;
  nextMs_ = std::min<int64_t>(nextMs_ * 2, 10000);
  return wait;
}

void DataHistory::begin(int64_t nowMs) {
  begun_ = true;
  beginMs_ = lastPacketMs_ = watchFromMs_ = nowMs;
}

void DataHistory::packet(int64_t nowMs) {
  const int64_t interval = nowMs - lastPacketMs_;
  // Only intervals of a running stream tell its period; an outage does not.
  if (packets_ > 0 && interval < staleLimitMs()) {
    periodMs_ = periodMs_ == 0 ? interval : periodMs_ * 0.9 + interval * 0.1;
  }
  closeGap(nowMs);
  ++packets_;
  lastPacketMs_ = watchFromMs_ = nowMs;
  recent_.push_back(nowMs);
  while (!recent_.empty() && recent_.front() <= nowMs - kRateWindowMs) recent_.pop_front();
}

void DataHistory::restart(int64_t nowMs) {
  watchFromMs_ = std::max(watchFromMs_, nowMs);
}

void DataHistory::end(int64_t nowMs) {
  if (!begun_ || ended_) return;
  closeGap(nowMs);
  ended_ = true;
  endMs_ = nowMs;
}

void DataHistory::closeGap(int64_t nowMs) {
  const int64_t gap = nowMs - lastPacketMs_;
  largestGapMs_ = std::max(largestGapMs_, gap);
  if (gap >= staleLimitMs()) withoutDataMs_ += gap;
}

int64_t DataHistory::staleLimitMs() const {
  if (limits_.staleAfterMs > 0) return limits_.staleAfterMs;
  if (periodMs_ == 0) return std::min(kUnknownPeriodStaleMs, limits_.lostAfterMs);
  return std::max(kMinStaleMs, static_cast<int64_t>(periodMs_ * kStalePeriods));
}

int64_t DataHistory::silenceMs(int64_t nowMs) const {
  return begun_ ? nowMs - watchFromMs_ : 0;
}

int64_t DataHistory::gapMs(int64_t nowMs) const {
  return begun_ ? (ended_ ? endMs_ : nowMs) - lastPacketMs_ : 0;
}

double DataHistory::rate(int64_t nowMs) const {
  // A stopped device keeps the rate it had at its last packet.
  const int64_t at = ended_ ? lastPacketMs_ : nowMs;
  const int64_t window = std::min(kRateWindowMs, at - beginMs_);
  if (!begun_ || window <= 0) return 0;
  const auto count =
      std::count_if(recent_.begin(), recent_.end(), [&](int64_t t) { return t > at - window; });
  return count * 1000.0 / window;
}

double DataHistory::meanRate() const {
  const int64_t span = (ended_ ? endMs_ : lastPacketMs_) - beginMs_;
  return span > 0 ? packets_ * 1000.0 / span : 0;
}

std::string summaryText(const std::string& device, const DataHistory& history, uint64_t dropouts,
                        uint64_t recoveries, uint64_t failures) {
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f", history.meanRate());
  std::string text = device + ": " + counted(history.packets(), "packet", "packets") +
                     " at a mean " + rate + " per second, largest gap " +
                     seconds(history.largestGapMs()) + ", " +
                     counted(dropouts, "dropout", "dropouts") + ", " +
                     counted(recoveries, "recovery", "recoveries") + ", " +
                     seconds(history.withoutDataMs()) + " without data";
  if (failures > 0) text += ", " + counted(failures, "failed read", "failed reads");
  return text + ".";
}
