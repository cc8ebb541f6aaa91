// One device of the file, supervised on a thread of its own: brought up,
// read, watched for gaps in its data and, when its data has stopped for the
// loss limit, brought up again in the storage slots it had, while every
// other device goes on streaming.
#ifndef MOTIONSTAR_HOST_SUPERVISOR_H
#define MOTIONSTAR_HOST_SUPERVISOR_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/config_file.h"
#include "host/device_object.h"
#include "host/device_state.h"
#include "host/host_entry.h"
#include "host/messages.h"
#include "host/module_loader.h"
#include "host/output.h"
#include "host/storages.h"

// Raised once to stop every device; waits end early when it is.
class StopSignal {
 public:
  void raise();
  bool raised() const { return raised_; }
  // Waits up to ms milliseconds; true when the signal is raised.
  bool waitFor(int64_t ms);

 private:
  std::atomic<bool> raised_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
};

// Devices take their storage slots one init at a time in the order of the
// file, so output IDs follow the file whatever order the devices come up in.
class InitTurns {
 public:
  // False when the stop came first.
  bool wait(size_t index, const StopSignal& stop);
  void done(size_t index);

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  size_t next_ = 0;
};

// What the devices' supervisors share.
struct SupervisorContext {
  HostStorages& storages;
  Output& output;
  Messages& messages;
  StopSignal& stop;
  InitTurns& turns;
  SupervisionLimits limits;
  uint64_t packetLimit = 0;  // per device; 0: none
  std::string configPath;    // names the file in configuration errors
};

enum class Outcome { kClean, kFailed, kConfigurationError };

class DeviceSupervisor {
 public:
  DeviceSupervisor(const DeviceBlock& block, size_t index, DriverModule& module, const CLogH& log,
                   SupervisorContext& context);
  ~DeviceSupervisor();
  DeviceSupervisor(const DeviceSupervisor&) = delete;
  DeviceSupervisor& operator=(const DeviceSupervisor&) = delete;

  void start();
  // A look at the device's data from the watching thread: it turns a
  // streaming device stale, and a silent one lost.
  void check(int64_t nowMs);

  // The thread is done: its device stopped and deleted.
  bool ended() const { return ended_; }
  // It read its packet limit.
  bool finished() const { return finished_; }
  // It failed before it ever streamed.
  bool failedToStart() const { return failedToStart_; }
  // Packets that published something, so far.
  uint64_t packets() const;
  // Clean only when it streamed from start to stop without a dropout or
  // a failure.
  Outcome outcome() const;
  DeviceRow row(int64_t nowMs) const;
  std::string summary() const;

 private:
  struct Events;  // what to tell once the lock is given back

  void run();
  // Brings the device up, the first time on the shared storages; returns
  // the step that failed, or empty.
  std::string bringUp(bool first);
  std::string initFirst();
  void readOnce();
  void recover();
  bool inState(DeviceState state) const;
  // Holding mutex_: the new state and its status record.
  void setState(DeviceState state, const std::string& reason, Events& events);
  void tell(Events& events);
  void publishChanged(const UpdatedMasks& masks, int64_t hostMicros);
  std::string busMap() const;

  const DeviceBlock block_;
  const size_t index_;
  SupervisorContext& context_;
  CLogH log_;
  HostEntry entry_;
  DeviceObject object_;
  std::unique_ptr<StorageView> view_;
  uint32_t trackerBase_ = 0, trackerSlots_ = 0, controllerBase_ = 0;
  bool hasController_ = false;
  int attempt_ = 0;  // of the recovery under way

  mutable std::mutex mutex_;  // guards what the watching thread reads
  DeviceState state_ = DeviceState::kStarting;
  DataHistory history_;
  double lastData_ = 0;  // host time of the last data, seconds since 1970
  uint64_t dropouts_ = 0, recoveries_ = 0, failures_ = 0;
  bool streamed_ = false, configError_ = false, stopFailed_ = false;
  bool closing_ = false;  // its stream is being stopped: silence is expected

  std::atomic<bool> ended_{false}, finished_{false}, failedToStart_{false};
  std::thread thread_;
};

// Every device of a file under supervision, started, watched and stopped
// together.
class Supervision {
 public:
  Supervision(HostStorages& storages, Output& output, Messages& messages,
              const SupervisionLimits& limits, uint64_t packetLimit, const std::string& configPath)
      : context_{storages, output, messages, stop_, turns_, limits, packetLimit, configPath} {}
  // Stops every device and joins its thread.
  ~Supervision() { stop_.raise(); }

  // Devices take their output IDs in the order they are added.
  void add(const DeviceBlock& block, DriverModule& module, const CLogH& log);
  void start();
  void check(int64_t nowMs);
  // Every device stops: a bounded exchange in progress ends first.
  void stop() { stop_.raise(); }
  bool stopping() const { return stop_.raised(); }
  bool allEnded() const;
  bool allFinished() const;
  bool anyFailedToStart() const;
  std::vector<DeviceRow> rows(int64_t nowMs) const;
  std::vector<uint64_t> packetCounts() const;
  DeviceSupervisor& device(size_t index) { return *devices_[index]; }
  size_t size() const { return devices_.size(); }
  // Every device's summary, and the exit status their outcomes make.
  std::vector<std::string> summaries() const;
  Outcome outcome() const;
  // Waits up to ms for the stop.
  bool waitForStop(int64_t ms) { return stop_.waitFor(ms); }

 private:
  StopSignal stop_;
  InitTurns turns_;
  SupervisorContext context_;
  // Last: destroyed (joined) first.
  std::vector<std::unique_ptr<DeviceSupervisor>> devices_;
};

#endif  // MOTIONSTAR_HOST_SUPERVISOR_H
