#include "host/supervisor.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/process.h"

namespace {

// A read that brings nothing back at once (a closed connection) is not
// repeated straight away: the thread must not spin.
constexpr int64_t kQuickReadMs = 2;
constexpr int32_t kIdleMs = 10;

int64_t nowMs() {
  return platform::monotonicMilliseconds();
}

std::string seconds(int64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", milliseconds / 1000.0);
  return text;
}

// The local time of day of a host time, to the millisecond.
std::string timeOfDay(double hostSeconds) {
  static std::mutex localtimeMutex;  // std::localtime shares one buffer
  const auto whole = static_cast<std::time_t>(hostSeconds);
  char text[32] = "--:--:--";
  {
    std::lock_guard<std::mutex> lock(localtimeMutex);
    if (const std::tm* local = std::localtime(&whole)) std::strftime(text, 16, "%H:%M:%S", local);
  }
  const int millis = static_cast<int>((hostSeconds - static_cast<double>(whole)) * 1000);
  return std::string(text) + "." + std::to_string(1000 + millis).substr(1);
}

bool anyBit(const uint8_t mask[4]) {
  return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
}

}  // namespace

void StopSignal::raise() {
  std::lock_guard<std::mutex> lock(mutex_);
  raised_ = true;
  wake_.notify_all();
}

bool StopSignal::waitFor(int64_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return raised_.load(); });
}

bool InitTurns::wait(size_t index, const StopSignal& stop) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (next_ != index) {
    if (stop.raised()) return false;
    turn_.wait_for(lock, std::chrono::milliseconds(50));
  }
  return !stop.raised();
}

void InitTurns::done(size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (next_ == index) ++next_;
  turn_.notify_all();
}

struct DeviceSupervisor::Events {
  std::vector<StatusRecord> statuses;
  std::vector<std::string> notices;
};

DeviceSupervisor::DeviceSupervisor(const DeviceBlock& block, size_t index, DriverModule& module,
                                   const CLogH& log, SupervisorContext& context)
    : block_(block),
      index_(index),
      context_(context),
      log_(log),
      entry_(block),
      object_(module, entry_.entry(), &log_),
      history_(context.limits) {}

DeviceSupervisor::~DeviceSupervisor() {
  if (thread_.joinable()) thread_.join();
}

void DeviceSupervisor::start() {
  thread_ = std::thread([this] { run(); });
}

void DeviceSupervisor::setState(DeviceState state, const std::string& reason, Events& events) {
  state_ = state;
  StatusRecord record;
  record.device = block_.name;
  record.state = stateName(state);
  record.reason = reason;
  record.dropouts = dropouts_;
  record.recoveries = recoveries_;
  record.lastData = lastData_;
  record.hostMicros = hostMicrosNow();
  events.statuses.push_back(record);
}

void DeviceSupervisor::tell(Events& events) {
  for (const StatusRecord& status : events.statuses) context_.output.status(status);
  for (const std::string& notice : events.notices) context_.messages.notice(notice);
  events = Events{};
}

bool DeviceSupervisor::inState(DeviceState state) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_ == state;
}

void DeviceSupervisor::run() {
  Events events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    setState(DeviceState::kStarting, "bringing the device up", events);
  }
  tell(events);
  const std::string failed = bringUp(true);
  if (failed.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    streamed_ = true;
    history_.begin(nowMs());
    setState(DeviceState::kStreaming, "started", events);
  } else {
    failedToStart_ = true;
    if (failed != "stopped" && !configError_) {
      events.notices.push_back("device \"" + block_.name + "\": " + failed + " failed");
    }
  }
  tell(events);

  while (failed.empty() && !context_.stop.raised()) {
    if (context_.packetLimit > 0 && history_.packets() >= context_.packetLimit) {
      finished_ = true;
      break;
    }
    readOnce();
    check(nowMs());
    if (inState(DeviceState::kLost) && context_.limits.recover) recover();
  }

  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  const bool stopped = object_.close();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopFailed_ = !stopped;
    history_.end(nowMs());
    setState(DeviceState::kStopped, finished_ ? "packet limit reached" : "host stopped", events);
  }
  tell(events);
  ended_ = true;
}

std::string DeviceSupervisor::bringUp(bool first) {
  if (first) {
    const std::string failed = initFirst();
    if (!failed.empty()) return failed;
  } else {
    // The old device object still points at the old view.
    object_.close();
    view_ = std::make_unique<StorageView>(context_.storages, trackerBase_, controllerBase_);
    if (!object_.create(view_->initInfo())) return "init";
  }
  if (context_.stop.raised()) return "stopped";
  if (!object_.configure()) return "configure";
  if (context_.stop.raised()) return "stopped";
  if (!object_.start()) return "start";
  return "";
}

std::string DeviceSupervisor::initFirst() {
  HostStorages& storages = context_.storages;
  if (!context_.turns.wait(index_, context_.stop)) return "stopped";
  const uint32_t trackersBefore = storages.trackerCount();
  const uint32_t controllersBefore = storages.controllerCount();
  const bool created = object_.create(storages.initInfo());
  const uint32_t trackersAfter = storages.trackerCount();
  const uint32_t controllersAfter = storages.controllerCount();
  context_.turns.done(index_);
  if (!created) {
    if (!object_.exists()) return "createDev";
    const std::string fault = configurationFault(*entry_.entry(), trackersAfter > trackersBefore,
                                                 controllersAfter > controllersBefore);
    if (fault.empty()) return "init";
    {
      std::lock_guard<std::mutex> lock(mutex_);
      configError_ = true;
    }
    context_.messages.notice(context_.configPath + ":" + std::to_string(block_.line) +
                             ": device \"" + block_.name + "\": " + fault);
    return "init";
  }
  trackerBase_ = trackersBefore;
  trackerSlots_ = trackersAfter - trackersBefore;
  controllerBase_ = controllersBefore;
  hasController_ = controllersAfter > controllersBefore;
  context_.messages.info("device \"" + block_.name + "\": " + busMap());
  return "";
}

// The driver numbers the sensors in the order of their bus addresses,
// leaving out the transmitter's, and puts them after the slots of the
// devices before it.
std::string DeviceSupervisor::busMap() const {
  const OptionLine* erc = block_.find("erc");
  const long transmitter =
      erc != nullptr && !erc->args.empty() ? std::strtol(erc->args[0].c_str(), nullptr, 0) : 1;
  std::string map = "bus address -> output ID:";
  uint32_t tracker = 0;
  for (long address = 1; tracker < trackerSlots_; ++address) {
    if (address == transmitter) continue;
    map += " " + std::to_string(address) + "->" + std::to_string(trackerBase_ + ++tracker);
  }
  map += " (transmitter at " + std::to_string(transmitter) + ")";
  if (hasController_) map += "; wand -> controller " + std::to_string(controllerBase_ + 1);
  return map;
}

void DeviceSupervisor::readOnce() {
  UpdatedMasks masks{};
  const int64_t begun = nowMs();
  const int32_t result = object_.read(&masks);
  const int64_t now = nowMs();
  const int64_t micros = hostMicrosNow();
  const bool data = anyBit(masks.tracker) || anyBit(masks.controller);
  // Records published before a failure stay published.
  if (data) publishChanged(masks, micros);

  Events events;
  uint64_t packets = 0, failures = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (result != 1) ++failures_;
    if (data) {
      const int64_t gap = history_.gapMs(now);
      history_.packet(now);
      lastData_ = micros / 1e6;
      const std::string name = "device \"" + block_.name + "\"";
      switch (state_) {
        case DeviceState::kStale:
          setState(DeviceState::kStreaming, "data again", events);
          break;
        case DeviceState::kRecovering:
          ++recoveries_;
          setState(DeviceState::kStreaming, "recovered", events);
          events.notices.push_back(name + " recovered: data again after an outage of " +
                                   seconds(gap) + " (attempt " + std::to_string(attempt_) + ")");
          break;
        case DeviceState::kLost:  // recovery off: the stream came back by itself
          setState(DeviceState::kStreaming, "data again", events);
          events.notices.push_back(name + ": data again after an outage of " + seconds(gap));
          break;
        default:
          break;
      }
    }
    packets = history_.packets();
    failures = failures_;
  }
  // The read's records may leave for render nodes together.
  context_.output.readDone(block_.name, packets, failures);
  tell(events);
  if (result != 1 || (!data && now - begun < kQuickReadMs)) platform::sleepMilliseconds(kIdleMs);
}

void DeviceSupervisor::check(int64_t now) {
  Events events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != DeviceState::kStreaming && state_ != DeviceState::kStale) return;
    // A stop that waits on a silent system is not a dropout to bring up again.
    if (closing_ || context_.stop.raised()) return;
    const int64_t silence = history_.silenceMs(now);
    if (silence >= context_.limits.lostAfterMs) {
      ++dropouts_;
      setState(DeviceState::kLost, "no data for " + seconds(silence), events);
      events.notices.push_back("WARNING: device \"" + block_.name + "\" lost: no data since " +
                               (lastData_ > 0 ? timeOfDay(lastData_) : std::string("it started")) +
                               " (" + seconds(silence) + ")" +
                               (context_.limits.recover ? "; bringing it up again" : ""));
    } else if (state_ == DeviceState::kStreaming && silence >= history_.staleLimitMs()) {
      setState(DeviceState::kStale, "no data for " + seconds(silence), events);
    }
  }
  tell(events);
}

void DeviceSupervisor::recover() {
  Events events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    setState(DeviceState::kRecovering, "bringing the device up again", events);
  }
  tell(events);
  // It answered before: stop it (a bounded exchange) before it is deleted.
  object_.close();
  Backoff backoff;
  for (attempt_ = 1; !context_.stop.raised(); ++attempt_) {
    std::string failed = bringUp(false);
    if (failed.empty()) {
      // Its first data ends the outage; without any, the attempt failed.
      const int64_t restarted = nowMs();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        history_.restart(restarted);
      }
      while (!context_.stop.raised() && inState(DeviceState::kRecovering) &&
             nowMs() - restarted < context_.limits.lostAfterMs) {
        readOnce();
      }
      if (!inState(DeviceState::kRecovering)) return;
      failed = "no data after start";
    }
    if (failed == "stopped") return;
    object_.close();
    const int64_t wait = backoff.nextMs();
    context_.messages.notice("device \"" + block_.name + "\": recovery attempt " +
                             std::to_string(attempt_) + " failed at " + failed +
                             "; next attempt in " + seconds(wait));
    if (context_.stop.waitFor(wait)) return;
  }
}

void DeviceSupervisor::publishChanged(const UpdatedMasks& masks, int64_t hostMicros) {
  for (uint32_t id = 1; id <= kMaxElements; ++id) {
    const uint32_t byte = 3 - (id - 1) / 8;
    const uint8_t bit = static_cast<uint8_t>(1u << ((id - 1) % 8));
    if (masks.tracker[byte] & bit) {
      Publication p = decodeTracker(block_.name, context_.storages.tracker(id));
      p.hostMicros = hostMicros;
      context_.output.publish(p);
    }
    if (masks.controller[byte] & bit) {
      Publication p = decodeController(block_.name, context_.storages.controller(id));
      p.hostMicros = hostMicros;
      context_.output.publish(p);
    }
  }
}

Outcome DeviceSupervisor::outcome() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (configError_) return Outcome::kConfigurationError;
  if (!streamed_ || dropouts_ > 0 || failures_ > 0 || stopFailed_) return Outcome::kFailed;
  return Outcome::kClean;
}

uint64_t DeviceSupervisor::packets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_.packets();
}

DeviceRow DeviceSupervisor::row(int64_t now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  DeviceRow row;
  row.device = block_.name;
  row.state = stateName(state_);
  row.rate = history_.rate(now);
  row.gap = history_.gapMs(now) / 1000.0;
  row.dropouts = dropouts_;
  row.recoveries = recoveries_;
  row.failures = failures_;
  return row;
}

std::string DeviceSupervisor::summary() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text = summaryText(block_.name, history_, dropouts_, recoveries_, failures_);
  if (!streamed_) text += " It never streamed.";
  if (stopFailed_) text += " Its stop failed.";
  return text;
}

void Supervision::add(const DeviceBlock& block, DriverModule& module, const CLogH& log) {
  devices_.push_back(
      std::make_unique<DeviceSupervisor>(block, devices_.size(), module, log, context_));
}

void Supervision::start() {
  for (auto& device : devices_) device->start();
}

void Supervision::check(int64_t now) {
  for (auto& device : devices_) device->check(now);
}

bool Supervision::allEnded() const {
  for (const auto& device : devices_) {
    if (!device->ended()) return false;
  }
  return true;
}

bool Supervision::allFinished() const {
  for (const auto& device : devices_) {
    if (!device->finished()) return false;
  }
  return true;
}

bool Supervision::anyFailedToStart() const {
  for (const auto& device : devices_) {
    if (device->failedToStart()) return true;
  }
  return false;
}

std::vector<DeviceRow> Supervision::rows(int64_t now) const {
  std::vector<DeviceRow> rows;
  for (const auto& device : devices_) rows.push_back(device->row(now));
  return rows;
}

std::vector<uint64_t> Supervision::packetCounts() const {
  std::vector<uint64_t> counts;
  for (const auto& device : devices_) counts.push_back(device->packets());
  return counts;
}

std::vector<std::string> Supervision::summaries() const {
  std::vector<std::string> summaries;
  for (const auto& device : devices_) summaries.push_back(device->summary());
  return summaries;
}

Outcome Supervision::outcome() const {
  Outcome worst = Outcome::kClean;
  for (const auto& device : devices_) {
    const Outcome outcome = device->outcome();
    if (outcome == Outcome::kConfigurationError) return outcome;
    if (outcome == Outcome::kFailed) worst = outcome;
  }
  return worst;
}
