#include "tools/calibrate/survey_reader.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <thread>

#include "host/supervisor.h"
#include "platform/process.h"

namespace calibrate {

AveragedPose averagePoses(const std::vector<PoseRow>& readings) {
  AveragedPose average;
  average.readings = readings.size();
  if (readings.empty()) return average;
  const double n = static_cast<double>(readings.size());
  field::Quaternion sum{0, 0, 0, 0};
  field::Quaternion first{};
  for (size_t i = 0; i < readings.size(); ++i) {
    const PoseRow& r = readings[i];
    for (int k = 0; k < 3; ++k) average.mean.position[k] += r.position[k] / n;
    field::Quaternion q = field::fromAngles(r.angles[0], r.angles[1], r.angles[2]);
    if (i == 0) first = q;
    // q and -q are one orientation: take the one on the first's side.
    const double side = q.w * first.w + q.x * first.x + q.y * first.y + q.z * first.z;
    if (side < 0) q = {-q.w, -q.x, -q.y, -q.z};
    sum = {sum.w + q.w, sum.x + q.x, sum.y + q.y, sum.z + q.z};
  }
  const double norm = std::sqrt(sum.w * sum.w + sum.x * sum.x + sum.y * sum.y + sum.z * sum.z);
  const field::Quaternion mean{sum.w / norm, sum.x / norm, sum.y / norm, sum.z / norm};
  average.mean.angles = field::toAngles(mean);
  double distances = 0, angles = 0;
  for (const PoseRow& r : readings) {
    double d2 = 0;
    for (int k = 0; k < 3; ++k) {
      const double d = r.position[k] - average.mean.position[k];
      d2 += d * d;
    }
    distances += d2 * 144.0;  // square feet to square inches
    const double angle =
        field::angleBetween(mean, field::fromAngles(r.angles[0], r.angles[1], r.angles[2]));
    angles += angle * angle;
  }
  average.positionSpread = std::sqrt(distances / n);
  average.orientationSpread = std::sqrt(angles / n);
  return average;
}

SurveyReader::SurveyReader(uint32_t tracker, int button) : tracker_(tracker), button_(button) {}

SurveyReader::~SurveyReader() {
  stop();
}

bool SurveyReader::start(const DeviceBlock& block, std::string* error) {
  if (!module_.load(block.module, error)) return false;
  log_.showDate = log_.showTime = 1;
  log_.enabled = 1;
  std::snprintf(log_.name, sizeof log_.name, "%s", block.name.c_str());
  const char* labels[] = {"INFO", "ERROR", "WARNING", "DEBUG"};
  for (int i = 0; i < 4; ++i) std::snprintf(log_.levelLabels[i], 100, "%s", labels[i]);
  log_.debugThreshold = 1;
  storages_ = std::make_unique<HostStorages>(log_);
  if (!storages_->ready()) {
    *error = "cannot create the storage mutexes";
    return false;
  }
  // Table format draws only when asked: the records reach this sink alone.
  output_ = std::make_unique<Output>(Format::kTable, stdout);
  output_->addSink(this);
  supervision_ = std::make_unique<Supervision>(*storages_, *output_, messages_, SupervisionLimits{},
                                               0, block.name);
  supervision_->add(block, module_, log_);
  supervision_->start();
  DeviceSupervisor& device = supervision_->device(0);
  while (!device.failedToStart() &&
         device.row(platform::monotonicMilliseconds()).state == "starting") {
    platform::sleepMilliseconds(20);
  }
  if (device.failedToStart()) {
    supervision_.reset();  // joins its thread, which let the device go
    *error = "device \"" + block.name + "\" did not come up";
    return false;
  }
  return true;
}

void SurveyReader::stop() {
  supervision_.reset();  // stops and shuts the device down, joins its thread
}

void SurveyReader::publish(const Publication& p) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (p.kind == Publication::kTracker && p.id == tracker_) {
    if (readings_++ >= skip_) {
      gathered_.push_back({{p.pose[0], p.pose[1], p.pose[2]}, {p.pose[3], p.pose[4], p.pose[5]}});
    }
    changed_.notify_all();
  } else if (p.kind == Publication::kController && button_ > 0 &&
             p.buttons.size() >= static_cast<size_t>(button_)) {
    const bool down = p.buttons[button_ - 1] != 0;
    if (down && !buttonDown_) {
      std::lock_guard<std::mutex> signalLock(signals_->mutex);
      ++signals_->count;
      signals_->changed.notify_all();
    }
    buttonDown_ = down;
  }
}

uint64_t SurveyReader::readingCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return readings_;
}

bool SurveyReader::average(uint64_t skip, size_t count, int32_t silenceMs, AveragedPose* pose,
                           std::string* error) {
  std::unique_lock<std::mutex> lock(mutex_);
  skip_ = skip;
  gathered_.clear();
  while (gathered_.size() < count) {
    const uint64_t before = readings_;
    changed_.wait_for(lock, std::chrono::milliseconds(silenceMs),
                      [&] { return readings_ != before; });
    if (readings_ == before) {
      *error = "no reading of tracker " + std::to_string(tracker_) + " for " +
               std::to_string(silenceMs / 1000) + " s";
      return false;
    }
  }
  gathered_.resize(count);
  *pose = averagePoses(gathered_);
  return true;
}

bool SurveyReader::waitForSignal() {
  Signals& s = *signals_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (!s.inputStarted) {
    s.inputStarted = true;
    // A read of standard input cannot be interrupted portably: the thread
    // ends with the input or with the program.
    std::thread(readStandardInput, signals_).detach();
  }
  const uint64_t before = s.count;
  s.changed.wait(lock, [&] { return s.count != before || (s.inputEnded && button_ == 0); });
  return s.count != before;
}

void SurveyReader::readStandardInput(std::shared_ptr<Signals> signals) {
  for (std::string line; std::getline(std::cin, line);) {
    std::lock_guard<std::mutex> lock(signals->mutex);
    ++signals->count;
    signals->changed.notify_all();
  }
  std::lock_guard<std::mutex> lock(signals->mutex);
  signals->inputEnded = true;
  signals->changed.notify_all();
}

}  // namespace calibrate
