// mstar-host: runs MotionStar driver modules from a configuration file, on
// real tracking systems or on the built-in simulator, and shows what they
// publish.
#include <getopt.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/config_file.h"
#include "host/device_runner.h"
#include "host/module_loader.h"
#include "host/output.h"
#include "host/publisher.h"
#include "host/simulation.h"
#include "host/storages.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/signals.h"

namespace {

constexpr int kExitClean = 0;
constexpr int kExitDeviceFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: mstar-host [OPTION]... CONFIG_FILE\n"
    "Runs the MotionStar driver for every device block of CONFIG_FILE and shows the\n"
    "tracker poses and wand states it publishes. Ctrl-C (or SIGTERM) stops every\n"
    "device's data stream, shuts the tracking systems down and exits.\n"
    "\n"
    "  -s, --simulate          start a simulated MotionStar on loopback for every\n"
    "                          device (its protocol, trackers, ERC and wanda) and\n"
    "                          point the device at it; no hardware needed\n"
    "      --rate HZ           data packets per second of the simulators (default 60)\n"
    "  -f, --format FORMAT     table (live, in place; the default on a terminal),\n"
    "                          jsonl (one JSON object per publication; the default\n"
    "                          when standard output is not a terminal) or csv\n"
    "  -o, --output FILE       also write every publication to FILE (JSON lines, or\n"
    "                          CSV with --format csv)\n"
    "  -d, --duration SECONDS  stop after this many seconds\n"
    "  -n, --packets N         stop once every device has handled N packets\n"
    "  -l, --log-level LEVEL   quiet (no driver messages), info (the default) or\n"
    "                          debug (every object's DEBUG lines)\n"
    "      --debug-level N     the host logger's debugLevel: 1 shows the device's\n"
    "                          DEBUG lines, 3 those of its sockets and helpers\n"
    "      --debug-threshold N the host logger's debugThreshold: a debug level at or\n"
    "                          above it shows every object's DEBUG lines (default 1)\n"
    "  -h, --help              show this help and exit\n"
    "\n"
    "Records written by --format jsonl/csv go to standard output; the driver's own\n"
    "messages then go to standard error.\n"
    "\n"
    "Exit status: 0 clean stop, 1 a device failed, 2 usage or configuration error.\n";

struct Options {
  std::string configPath;
  bool simulate = false;
  double rate = 60;
  bool formatGiven = false;
  Format format = Format::kTable;
  std::string outputPath;
  double duration = 0;
  uint64_t packets = 0;
  int enabled = 1;
  int32_t debugLevel = 0;
  int32_t debugThreshold = 1;
  PublishOptions publish;
};

bool parseNumber(const char* text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0' && *value >= 0;
}

bool parseInteger(const char* text, long long* value) {
  char* end = nullptr;
  *value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0';
}

int usageError(const std::string& what) {
  std::fprintf(stderr, "mstar-host: %s\nTry 'mstar-host --help' for more information.\n",
               what.c_str());
  return kExitUsage;
}

// Returns -1 when the options are good, else the exit code.
int parseOptions(int argc, char** argv, Options* options) {
  enum { kRate = 1000, kDebugLevel, kDebugThreshold, kPublish, kPublishFormat };
  static const option kLong[] = {
      {"simulate", no_argument, nullptr, 's'},
      {"rate", required_argument, nullptr, kRate},
      {"format", required_argument, nullptr, 'f'},
      {"output", required_argument, nullptr, 'o'},
      {"duration", required_argument, nullptr, 'd'},
      {"packets", required_argument, nullptr, 'n'},
      {"log-level", required_argument, nullptr, 'l'},
      {"debug-level", required_argument, nullptr, kDebugLevel},
      {"debug-threshold", required_argument, nullptr, kDebugThreshold},
      {"help", no_argument, nullptr, 'h'},
      {"publish", required_argument, nullptr, kPublish},
      {"publish-format", required_argument, nullptr, kPublishFormat},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":sf:o:d:n:l:h", kLong, nullptr)) != -1;) {
    long long integer = 0;
    double number = 0;
    switch (c) {
      case 's':
        options->simulate = true;
        break;
      case kRate:
        if (!parseNumber(optarg, &number) || number <= 0 || number > 10000) {
          return usageError("--rate takes packets per second, from above 0 to 10000");
        }
        options->rate = number;
        break;
      case 'f':
        options->formatGiven = true;
        if (std::strcmp(optarg, "table") == 0) {
          options->format = Format::kTable;
        } else if (std::strcmp(optarg, "jsonl") == 0) {
          options->format = Format::kJsonl;
        } else if (std::strcmp(optarg, "csv") == 0) {
          options->format = Format::kCsv;
        } else {
          return usageError(std::string("unknown format '") + optarg + "' (table, jsonl or csv)");
        }
        break;
      case 'o':
        options->outputPath = optarg;
        break;
      case 'd':
        if (!parseNumber(optarg, &number) || number == 0) {
          return usageError("--duration takes a number of seconds above 0");
        }
        options->duration = number;
        break;
      case 'n':
        if (!parseInteger(optarg, &integer) || integer <= 0) {
          return usageError("--packets takes a whole number above 0");
        }
        options->packets = static_cast<uint64_t>(integer);
        break;
      case 'l':
        if (std::strcmp(optarg, "quiet") == 0) {
          options->enabled = 0;
        } else if (std::strcmp(optarg, "info") == 0) {
          options->enabled = 1;
        } else if (std::strcmp(optarg, "debug") == 0) {
          options->enabled = 1;
          options->debugLevel = 1;
          options->debugThreshold = 1;
        } else {
          return usageError(std::string("unknown log level '") + optarg +
                            "' (quiet, info or debug)");
        }
        break;
      case kDebugLevel:
      case kDebugThreshold:
        if (!parseInteger(optarg, &integer) || integer < INT32_MIN || integer > INT32_MAX) {
          return usageError(std::string(c == kDebugLevel ? "--debug-level" : "--debug-threshold") +
                            " takes a whole number");
        }
        (c == kDebugLevel ? options->debugLevel : options->debugThreshold) =
            static_cast<int32_t>(integer);
        break;
      case 'h':
        std::fputs(kUsage, stdout);
        std::fputs(publishUsage(), stdout);
        return kExitClean;
      case kPublish:
      case kPublishFormat: {
        std::string error;
        const char* name = c == kPublish ? "--publish" : "--publish-format";
        if (!parsePublishOption(name, optarg, &options->publish, &error)) {
          return usageError(error);
        }
        break;
      }
      case ':':
        return usageError(std::string("option '") + argv[optind - 1] + "' needs an argument");
      default:
        return usageError(std::string("unknown option '") + argv[optind - 1] + "'");
    }
  }
  if (optind != argc - 1) {
    return usageError(optind == argc ? "no configuration file given"
                                     : "more than one configuration file given");
  }
  options->configPath = argv[optind];
  return -1;
}

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

int run(const Options& options) {
  // Before any thread starts (simulators, device readers): a Ctrl-C during
  // start-up then stops the run cleanly once the devices are up.
  platform::installStopSignals();
  ConfigFile config;
  std::string error;
  if (!readConfigFile(options.configPath, &config, &error)) {
    std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
    return kExitUsage;
  }

  Simulation simulation;
  if (options.simulate && !simulation.start(config, options.rate, &error)) {
    std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
    return kExitDeviceFailed;
  }

  const bool terminal = platform::stdoutIsTerminal();
  Format screenFormat =
      options.formatGiven ? options.format : (terminal ? Format::kTable : Format::kJsonl);
  std::FILE* screen = stdout;
  if (screenFormat != Format::kTable) {
    // Records own standard output; the driver's messages move to standard error.
    if (std::FILE* aside = platform::moveStdoutAside()) screen = aside;
  }
  Output screenOutput(screenFormat, screen);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
  std::unique_ptr<Output> fileOutput;
  if (!options.outputPath.empty()) {
    file.reset(std::fopen(options.outputPath.c_str(), "w"));
    if (!file) {
      std::fprintf(stderr, "mstar-host: %s: cannot be written\n", options.outputPath.c_str());
      return kExitUsage;
    }
    fileOutput = std::make_unique<Output>(
        options.format == Format::kCsv ? Format::kCsv : Format::kJsonl, file.get());
  }
  screenOutput.alsoWriteTo(fileOutput.get());
  Output& output = screenOutput;

  // Publishing to render nodes: bound before the devices start, so their
  // first records go out too.
  std::unique_ptr<Publisher> publisher;
  if (options.publish.requested()) {
    std::vector<std::string> names;
    for (const DeviceBlock& block : config.devices) names.push_back(block.name);
    publisher = Publisher::start(options.publish, names, &error);
    if (!publisher) {
      std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
      return kExitUsage;
    }
    for (const std::string& endpoint : publisher->endpoints()) {
      std::fprintf(stderr, "mstar-host: publishing on %s\n", endpoint.c_str());
    }
    screenOutput.alsoSendTo(publisher.get());
  }

  CLogH storageLog = hostLogger(options, "mstar-host");
  HostStorages storages(storageLog);
  if (!storages.ready()) {
    std::fprintf(stderr, "mstar-host: cannot create the storage mutexes\n");
    return kExitDeviceFailed;
  }

  std::map<std::string, std::unique_ptr<DriverModule>> modules;
  std::vector<std::unique_ptr<CLogH>> loggers;
  std::vector<std::unique_ptr<DeviceRunner>> runners;
  for (const DeviceBlock& block : config.devices) {
    std::unique_ptr<DriverModule>& module = modules[block.module];
    if (!module) {
      module = std::make_unique<DriverModule>();
      if (!module->load(block.module, &error)) {
        std::fprintf(stderr, "mstar-host: %s:%u: %s\n", options.configPath.c_str(), block.line,
                     error.c_str());
        return kExitUsage;
      }
    }
    loggers.push_back(std::make_unique<CLogH>(hostLogger(options, block.name)));
    runners.push_back(
        std::make_unique<DeviceRunner>(block, *module, storages, loggers.back().get(), output));
    if (!runners.back()->bringUp(&error)) {
      std::fprintf(stderr, "mstar-host: %s\n", error.c_str());
      runners.clear();  // stops and deletes what was started, last first
      return kExitDeviceFailed;
    }
  }

  std::atomic<bool> stop{false};
  for (auto& runner : runners) runner->startReading(stop, options.packets);
  const int64_t started = platform::monotonicMilliseconds();
  int64_t lastRender = 0;
  for (;;) {
    const int64_t now = platform::monotonicMilliseconds();
    if (platform::stopRequested()) break;
    if (options.duration > 0 && now - started >= static_cast<int64_t>(options.duration * 1000)) {
      break;
    }
    bool allFinished = true;
    for (auto& runner : runners) allFinished = allFinished && runner->finished();
    if (allFinished) break;
    if (now - lastRender >= 250) {
      const platform::WallClock clock = platform::wallClockNow();
      screenOutput.render(clock.seconds + clock.milliseconds / 1000.0);
      lastRender = now;
    }
    platform::sleepMilliseconds(20);
  }
  stop = true;
  int status = kExitClean;
  for (auto& runner : runners) runner->join();
  for (auto& runner : runners) {
    if (!runner->shutDown()) status = kExitDeviceFailed;
  }
  runners.clear();
  simulation.stop();
  if (publisher) {
    publisher->close();
    std::fprintf(stderr, "mstar-host: %s\n", publisher->summary().c_str());
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = parseOptions(argc, argv, &options);
  if (status >= 0) return status;
  return run(options);
}
