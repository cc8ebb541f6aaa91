// mstar-host: runs MotionStar driver modules from a configuration file, on
// real tracking systems or on the built-in simulator, and shows what they
// publish.
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/config_file.h"
#include "host/device_runner.h"
#include "host/module_loader.h"
#include "host/options.h"
#include "host/output.h"
#include "host/publisher.h"
#include "host/simulation.h"
#include "host/simulator_options.h"
#include "host/storages.h"
#include "platform/platform.h"
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

// One run of the host. Its parts are members in the order they are made,
// so they are taken down in reverse.
class Session {
 public:
  explicit Session(const Options& options) : options_(options) {}

  // Reads the file, starts the simulators, opens the outputs and brings
  // every device up. Returns -1 when all is up, else the exit code.
  int setUp();
  // Reads until a stop signal, the duration or the packet count ends it.
  void run();
  // Stops every device and shuts it down; returns the exit code.
  int stop();

 private:
  bool openOutputs();
  bool startPublishing();
  int bringUpDevices();
  bool finished() const;

  const Options& options_;
  ConfigFile config_;
  Simulation simulation_;
  std::unique_ptr<Output> screen_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
  std::unique_ptr<Output> fileOutput_;
  std::unique_ptr<Publisher> publisher_;
  CLogH storageLog_{};
  std::unique_ptr<HostStorages> storages_;
  std::map<std::string, std::unique_ptr<DriverModule>> modules_;
  std::vector<std::unique_ptr<CLogH>> loggers_;
  std::atomic<bool> stop_{false};  // the readers watch it
  std::vector<std::unique_ptr<DeviceRunner>> runners_;
};

int Session::setUp() {
  // Before any thread starts (simulators, device readers): a Ctrl-C during
  // start-up then stops the run cleanly once the devices are up.
  platform::installStopSignals();
  std::string error;
  if (!readConfigFile(options_.configPath, &config_, &error)) {
    std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
    return kExitUsage;
  }
  std::vector<DeviceSimulatorOptions> simulatorOptions;
  if (!takeSimulatorOptions(config_, options_.configPath, &simulatorOptions, &error)) {
    std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
    return kExitUsage;
  }
  for (const std::string& note : unusedSimulatorOptions(simulatorOptions, options_.configPath)) {
    if (!options_.simulate) std::fprintf(stderr, "mstar-host: %s\n", note.c_str());
  }
  if (options_.simulate && !simulation_.start(config_, options_, simulatorOptions, &error)) {
    std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
    return kExitDeviceFailed;
  }
  if (!openOutputs() || !startPublishing()) return kExitUsage;
  storageLog_ = hostLogger(options_, "mstar-host");
  storages_ = std::make_unique<HostStorages>(storageLog_);
  if (!storages_->ready()) {
    std::fprintf(stderr, "mstar-host: cannot create the storage mutexes\n");
    return kExitDeviceFailed;
  }
  return bringUpDevices();
}

bool Session::openOutputs() {
  const bool terminal = platform::stdoutIsTerminal();
  const Format screenFormat =
      options_.formatGiven ? options_.format : (terminal ? Format::kTable : Format::kJsonl);
  std::FILE* screen = stdout;
  if (screenFormat != Format::kTable) {
    // Records own standard output; the driver's messages move to standard error.
    if (std::FILE* aside = platform::moveStdoutAside()) screen = aside;
  }
  screen_ = std::make_unique<Output>(screenFormat, screen);
  if (!options_.outputPath.empty()) {
    file_.reset(std::fopen(options_.outputPath.c_str(), "w"));
    if (!file_) {
      std::fprintf(stderr, "mstar-host: %s: cannot be written\n", options_.outputPath.c_str());
      return false;
    }
    fileOutput_ = std::make_unique<Output>(
        options_.format == Format::kCsv ? Format::kCsv : Format::kJsonl, file_.get());
  }
  screen_->alsoWriteTo(fileOutput_.get());
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
    std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
    return false;
  }
  for (const std::string& endpoint : publisher_->endpoints()) {
    std::fprintf(stderr, "mstar-host: publishing on %s\n", endpoint.c_str());
  }
  screen_->alsoSendTo(publisher_.get());
  return true;
}

int Session::bringUpDevices() {
  std::string error;
  for (const DeviceBlock& block : config_.devices) {
    std::unique_ptr<DriverModule>& module = modules_[block.module];
    if (!module) {
      module = std::make_unique<DriverModule>();
      if (!module->load(block.module, &error)) {
        std::fprintf(stderr, "mstar-host: %s:%u: %s\n", options_.configPath.c_str(), block.line,
                     error.c_str());
        return kExitUsage;
      }
    }
    loggers_.push_back(std::make_unique<CLogH>(hostLogger(options_, block.name)));
    runners_.push_back(std::make_unique<DeviceRunner>(block, *module, *storages_,
                                                      loggers_.back().get(), *screen_));
    if (!runners_.back()->bringUp(&error)) {
      std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
      runners_.clear();  // stops and deletes what was started, last first
      return kExitDeviceFailed;
    }
  }
  return -1;
}

void Session::run() {
  for (auto& runner : runners_) runner->startReading(stop_, options_.packets);
  const int64_t started = platform::monotonicMilliseconds();
  int64_t lastRender = 0;
  for (;;) {
    const int64_t now = platform::monotonicMilliseconds();
    if (platform::stopRequested()) break;
    if (options_.duration > 0 && now - started >= static_cast<int64_t>(options_.duration * 1000)) {
      break;
    }
    if (finished()) break;
    if (now - lastRender >= kRenderIntervalMs) {
      const platform::WallClock clock = platform::wallClockNow();
      screen_->render(clock.seconds + clock.milliseconds / 1000.0);
      lastRender = now;
    }
    platform::sleepMilliseconds(kLoopSleepMs);
  }
}

bool Session::finished() const {
  for (const auto& runner : runners_) {
    if (!runner->finished()) return false;
  }
  return true;
}

int Session::stop() {
  stop_ = true;
  int status = kExitClean;
  for (auto& runner : runners_) runner->join();
  for (auto& runner : runners_) {
    if (!runner->shutDown()) status = kExitDeviceFailed;
  }
  runners_.clear();
  simulation_.stop();
  if (publisher_) {
    publisher_->close();
    std::fprintf(stderr, "mstar-host: %s\n", publisher_->summary().c_str());
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int status = parseOptions(argc, argv, &options);
  if (status >= 0) return status;

  Session session(options);
  const int failed = session.setUp();
  if (failed >= 0) return failed;
  session.run();
  return session.stop();
}
