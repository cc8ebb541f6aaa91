#include "sim/stream.h"

#include <algorithm>

#include "sim/hemisphere.h"
#include "sim/trajectory.h"

namespace sim {
namespace {

// A late worker catches up with at most this many packets, then skips ahead.
constexpr int kMaxCatchUpPackets = 10;

}  // namespace

DataStream::DataStream(const Config& config, const DeviceModel* device)
    : config_(config), device_(device), auxRecord_(config.auxRecord), field_(config.distortion) {}

void DataStream::restart(std::vector<int> sensors) {
  sensors_ = std::move(sensors);
  auxRecord_ = config_.auxRecord;
  wand_ = WandQueue(config_.wandScript, config_.loopWandScript);
}

void DataStream::start(const Peer& peer, Clock::time_point now) {
  on_ = true;
  peer_ = peer;
  if (config_.rate > 0) {
    nextDue_ = now + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(1.0 / config_.rate));
  }
}

bool DataStream::stop() {
  const bool was = on_;
  on_ = false;
  return was;
}

int DataStream::takeDue(Clock::time_point now) {
  if (!on_ || config_.rate <= 0) return 0;
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / config_.rate));
  int count = 0;
  while (nextDue_ <= now && count < kMaxCatchUpPackets) {
    nextDue_ += period;
    ++count;
  }
  if (nextDue_ <= now) nextDue_ = now + period;  // too far behind: skip ahead
  return count;
}

DataStream::Clock::duration DataStream::untilDue(Clock::time_point now,
                                                 Clock::duration limit) const {
  if (!on_ || config_.rate <= 0) return limit;
  return std::min(limit, std::max(Clock::duration::zero(), nextDue_ - now));
}

std::vector<uint8_t> DataStream::nextPacket(const DataFault* fault) {
  const uint64_t index = nextIndex_++;
  auto is = [&](DataFault::Kind kind) { return fault != nullptr && fault->kind == kind; };
  const bool withAux = auxRecord_ && !is(DataFault::Kind::kNoAux);
  std::vector<uint8_t> aux;
  if (withAux) {
    // Wand bytes wait for a packet that has room for them.
    aux = makeAuxRecord(config_.wanda ? wand_.next() : std::vector<uint8_t>{});
  }
  const uint64_t poseIndex = is(DataFault::Kind::kRepeatPoses) && index > 0 ? index - 1 : index;
  std::vector<UnitRecord> records;
  records.reserve(sensors_.size());
  for (int address : sensors_) records.push_back(record(address, poseIndex));
  return makeDataPacket(poseIndex, records, aux);
}

std::array<int16_t, 6> DataStream::truePose(int address, uint64_t packetIndex) const {
  return trajectoryWords(config_.seed, address, packetIndex);
}

UnitRecord DataStream::record(int address, uint64_t packetIndex) const {
  std::array<int16_t, 6> words = truePose(address, packetIndex);
  if (field_.changes(address)) {
    words = field_.reportedWords(
        address, packetIndex, words,
        device_ != nullptr ? device_->statusBlock(address) : std::vector<uint8_t>{});
  }
  if (config_.modelHemisphere && device_ != nullptr) {
    words = reportedInHemisphere(words, device_->hemisphere(address));
  }
  return UnitRecord{address, words};
}

}  // namespace sim
