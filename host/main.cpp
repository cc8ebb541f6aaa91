// mstar-host: runs MotionStar driver modules from a configuration file, on
// real tracking systems or on the built-in simulator, shows what they
// publish, and keeps every device streaming: a device whose data stops is
// reported and brought up again while the others go on.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/config_file.h"
#include "host/messages.h"
#include "host/module_loader.h"
#include "host/options.h"
#include "host/output.h"
#include "host/publisher.h"
#include "host/replay_end.h"
#include "host/simulation.h"
#include "host/simulator_options.h"
#include "host/storages.h"
#include "host/supervisor.h"
#include "platform/process.h"
#include "platform/signals.h"

namespace {

constexpr int64_t kRenderIntervalMs = 250;
constexpr int32_t kLoopSleepMs = 20;

CLogH hostLogger(const Options& options, const std::string& name) {
  CLogH log{};
  log.showDate = log.showTime = log.showThreadId = 1;
  log.enabled = static_cast<uint8_t>(options.enabled);
  std::snprintf(log.name, sizeof log.name, "%s", name.c_str());
  const char* labels[] = {"INFO", "ERROR", "WARNING", "DEBUG"};
  for (int i = 0; i < 4; ++i) std::snprintf(log.levelLabels[i], 100, "%s", labels[i]);
  log.debugThreshold = options.debugThreshold;
  log.debugLevel = options.debugLevel;
  return log;
}

double hostSeconds() {
  return hostMicrosNow() / 1e6;
}

// One run of the host. Its parts are members in the order they are made,
// so they are taken down in reverse.
class Session {
 public:
  explicit Session(const Options& options) : options_(options), messages_(options.quiet) {}
  ~Session() { messages_.endCapture(); }

  // Everything from reading the file to the last device stopped; returns
  // the exit status.
  int run();

 private:
  bool openOutputs();
  bool startPublishing();
  bool loadModules();
  void startDevices();
  // Watches signals, limits and the devices' data, and draws the table,
  // until every device has stopped.
  void watch();
  // Why the run should end now, or empty.
  std::string reasonToStop(int64_t started, int64_t now, bool* tell);
  // With --replay: the captures are played out and what they sent is read.
  bool replayPlayedOut(int64_t nowMs);
  int exitStatus();

  const Options& options_;
  Messages messages_;
  ConfigFile config_;
  Simulation simulation_;
  std::unique_ptr<Output> screen_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
  std::unique_ptr<Output> fileOutput_;
  std::unique_ptr<Publisher> publisher_;
  CLogH storageLog_{};
  std::unique_ptr<HostStorages> storages_;
  std::map<std::string, std::unique_ptr<DriverModule>> modules_;
  std::unique_ptr<Supervision> devices_;
  std::string outputFailure_;
  ReplayEnd replayEnd_;
};

int Session::run() {
  std::string error;
  if (!readConfigFile(options_.configPath, &config_, &error)) {
    std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
    return kExitUsage;
  }
  if (!openOutputs() || !startPublishing()) return kExitUsage;
  // The simulator's own lines leave the blocks before the driver sees them.
  std::vector<DeviceSimulatorOptions> simulatorOptions;
  if (!takeSimulatorOptions(config_, options_.configPath, &simulatorOptions, &error)) {
    messages_.notice(error);
    return kExitUsage;
  }
  if (!options_.simulate) {
    for (const std::string& note : unusedSimulatorOptions(simulatorOptions, options_.configPath)) {
      messages_.notice(note);
    }
  }
  // A replay is a simulation whose simulators play captures.
  const bool simulated = options_.simulate || !options_.capture.replayPath.empty();
  if (simulated && !Simulation::check(config_, options_, &error)) {
    messages_.notice(error);
    return kExitUsage;
  }
  simulation_.setCapture(options_.capture);
  if (simulated && !simulation_.start(config_, options_, simulatorOptions, &error)) {
    messages_.notice(error);
    return kExitDeviceFailed;
  }
  storageLog_ = hostLogger(options_, "mstar-host");
  storages_ = std::make_unique<HostStorages>(storageLog_);
  if (!storages_->ready()) {
    messages_.notice("cannot create the storage mutexes");
    return kExitDeviceFailed;
  }
  if (!loadModules()) return kExitUsage;
  startDevices();
  watch();
  const std::vector<std::string> summaries = devices_->summaries();
  const int status = exitStatus();
  devices_.reset();  // joins every thread; each stopped its device
  simulation_.stop();
  if (publisher_) {
    publisher_->close();
    messages_.info(publisher_->summary());
  }
  messages_.showIn(nullptr);
  messages_.endCapture();  // the driver's last lines come before the summary
  for (const std::string& summary : summaries) messages_.info(summary);
  return status;
}

bool Session::openOutputs() {
  const bool terminal = platform::stdoutIsTerminal();
  const Format screenFormat =
      options_.formatGiven ? options_.format : (terminal ? Format::kTable : Format::kJsonl);
  // Standard output carries only records (or the table); what the driver
  // writes there is read back and shown as messages.
  std::FILE* screen = messages_.captureDriverOutput();
  if (screen == nullptr) screen = stdout;
  screen_ = std::make_unique<Output>(screenFormat, screen, "standard output");
  if (!options_.outputPath.empty()) {
    file_.reset(std::fopen(options_.outputPath.c_str(), "w"));
    if (!file_) {
      messages_.notice(options_.outputPath + ": cannot be written");
      return false;
    }
    fileOutput_ =
        std::make_unique<Output>(options_.format == Format::kCsv ? Format::kCsv : Format::kJsonl,
                                 file_.get(), options_.outputPath);
    screen_->addSink(fileOutput_.get());
  }
  if (screenFormat == Format::kTable) messages_.showIn(screen_.get());
  return true;
}

// Publishing to render nodes: bound before the devices start, so their
// first records go out too.
bool Session::startPublishing() {
  if (!options_.publish.requested()) return true;
  std::vector<std::string> names;
  for (const DeviceBlock& block : config_.devices) names.push_back(block.name);
  std::string error;
  publisher_ = Publisher::start(options_.publish, names, &error);
  if (!publisher_) {
    messages_.notice(error);
    return false;
  }
  for (const std::string& endpoint : publisher_->endpoints()) {
    messages_.info("publishing on " + endpoint);
  }
  screen_->addSink(publisher_.get());
  return true;
}

bool Session::loadModules() {
  std::string error;
  for (const DeviceBlock& block : config_.devices) {
    std::unique_ptr<DriverModule>& module = modules_[block.module];
    if (module) continue;
    module = std::make_unique<DriverModule>();
    if (!module->load(block.module, &error)) {
      messages_.notice(options_.configPath + ":" + std::to_string(block.line) + ": " + error);
      return false;
    }
  }
  return true;
}

void Session::startDevices() {
  devices_ = std::make_unique<Supervision>(*storages_, *screen_, messages_, options_.limits,
                                           options_.packets, options_.configPath);
  for (const DeviceBlock& block : config_.devices) {
    devices_->add(block, *modules_[block.module], hostLogger(options_, block.name));
  }
  devices_->start();
}

std::string Session::reasonToStop(int64_t started, int64_t now, bool* tell) {
  *tell = true;
  if (platform::stopRequests() > 0) {
    return "stopping the devices (Ctrl-C again to leave at once, the systems left running)";
  }
  for (const auto& output : {screen_.get(), fileOutput_.get()}) {
    if (output != nullptr && output->failed(&outputFailure_)) return outputFailure_ + "; stopping";
  }
  if (devices_->anyFailedToStart()) return "a device did not come up; stopping";
  *tell = false;
  if (options_.duration > 0 && now - started >= static_cast<int64_t>(options_.duration * 1000)) {
    return "duration";
  }
  if (replayPlayedOut(now)) return "replay";
  return devices_->allFinished() ? "packets" : "";
}

bool Session::replayPlayedOut(int64_t nowMs) {
  if (options_.capture.replayPath.empty()) return false;
  return replayEnd_.reached(simulation_.replayFinished(), devices_->packetCounts(), nowMs);
}

void Session::watch() {
  const int64_t started = platform::monotonicMilliseconds();
  int64_t lastRender = 0;
  auto render = [this](int64_t now) { screen_->render(hostSeconds(), devices_->rows(now)); };
  for (;;) {
    const int64_t now = platform::monotonicMilliseconds();
    if (platform::stopRequests() >= 2) {
      std::fputs(
          "mstar-host: stopped at once; the tracking systems were left running as they were\n",
          stderr);
      std::_Exit(kExitInterrupted);
    }
    if (!devices_->stopping()) {
      bool tell = false;
      const std::string reason = reasonToStop(started, now, &tell);
      if (!reason.empty()) {
        if (tell) messages_.notice(reason);
        devices_->stop();
      }
    }
    devices_->check(now);
    if (devices_->allEnded()) break;
    if (now - lastRender >= kRenderIntervalMs) {
      render(now);
      lastRender = now;
    }
    platform::sleepMilliseconds(kLoopSleepMs);
  }
  render(platform::monotonicMilliseconds());
}

int Session::exitStatus() {
  const Outcome outcome = devices_->outcome();
  if (outcome == Outcome::kConfigurationError) return kExitUsage;
  int status = outcome == Outcome::kFailed ? kExitDeviceFailed : kExitClean;
  std::string failure;
  for (const auto& output : {screen_.get(), fileOutput_.get()}) {
    if (output != nullptr && output->failed(&failure)) status = kExitDeviceFailed;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int status = parseOptions(argc, argv, &options);
  if (status >= 0) return status;
  // Before any thread starts (simulators, devices, the message reader), so
  // every thread leaves the stop signals to the watching loop.
  platform::installStopSignals();
  Session session(options);
  return session.run();
}
