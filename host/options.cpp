#include "host/options.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/capture_reader.h"
#include "sim/fault_text.h"

namespace {

const char kUsage[] =
    "Usage: mstar-host [OPTION]... CONFIG_FILE\n"
    "Runs the MotionStar driver for every device block of CONFIG_FILE and shows the\n"
    "tracker poses and wand states it publishes. Ctrl-C (or SIGTERM) stops every\n"
    "device's data stream, shuts the tracking systems down and exits.\n"
    "\n"
    "  -s, --simulate          start a simulated MotionStar on loopback for every\n"
    "                          device (its protocol, trackers, ERC and wanda) and\n"
    "                          point the device at it; no hardware needed. Its\n"
    "                          sensors move above the transmitter (+z) on paths of\n"
    "                          their own; a wrong hemisphere option mirrors them\n"
    "      --rate HZ           data packets per second of the simulators (default 60)\n"
    "      --seed N            the simulated sensors' paths and wands: device k of the\n"
    "                          file (from 1) takes seed N + k - 1, the paths of\n"
    "                          mstar-sim --seed N + k - 1 (default 1)\n"
    "                          A device block's line 'simulatordistortion SEED[,STRENGTH]'\n"
    "                          bends its simulator's field (mstar-sim --distortion)\n"
    "      --sim-fault [DEVICE:]power-cycle-every=EVERY[,silent=LENGTH]\n"
    "      --sim-fault [DEVICE:]network-down-every=EVERY[,for=LENGTH]\n"
    "                          a simulator (DEVICE's, else every one) loses power, or\n"
    "                          its network, every EVERY for LENGTH (default 3s, at\n"
    "                          most half of EVERY); after a power cycle it is in its\n"
    "                          power-on state and answers nothing before a WAKE_UP.\n"
    "                          Durations: 500ms, 20s, 1.5m. May be given more than once\n"
    "  -f, --format FORMAT     table (live, in place; the default on a terminal),\n"
    "                          jsonl (one JSON object per publication; the default\n"
    "                          when standard output is not a terminal) or csv\n"
    "  -o, --output FILE       also write every publication to FILE (JSON lines, or\n"
    "                          CSV with --format csv)\n"
    "  -d, --duration SECONDS  stop after this many seconds\n"
    "  -n, --packets N         stop once every device has handled N packets\n"
    "  -l, --log-level LEVEL   quiet (nothing but records and real problems: the\n"
    "                          driver's ERROR and WARNING lines and the host's),\n"
    "                          info (the default) or debug (every object's DEBUG\n"
    "                          lines)\n"
    "      --debug-level N     the host logger's debugLevel: 1 shows the device's\n"
    "                          DEBUG lines, 3 those of its sockets and helpers\n"
    "      --debug-threshold N the host logger's debugThreshold: a debug level at or\n"
    "                          above it shows every object's DEBUG lines (default 1)\n"
    "      --stale-after SECONDS\n"
    "                          show a device as stale after this long without\n"
    "                          data (default: ten packet periods, at least 0.1 s)\n"
    "      --lost-after SECONDS\n"
    "                          count a dropout and bring the device up again\n"
    "                          after this long without data (default 2)\n"
    "      --no-recover        leave a lost device as it is (no new bring-up)\n"
    "  -h, --help              show this help and exit\n"
    "\n";

const char kCaptureUsage[] =
    "      --replay CAPTURE    like --simulate, but each simulator plays the device\n"
    "                          side of a recorded session: CAPTURE is a pcap file\n"
    "                          (from tcpdump, Wireshark or --record-dir) for every\n"
    "                          device, or a folder holding NAME.pcap for device NAME;\n"
    "                          the host stops once the captures are played out\n"
    "      --speed X           play the captures' data packets X times as fast\n"
    "                          (above 0, at most 1000; default 1)\n"
    "      --record-dir DIR    with --simulate or --replay: write each device's\n"
    "                          packets, both ways, to DIR/NAME.pcap\n"
    "\n";

const char kUsageEnd[] =
    "Records (and a status record at each change of a device's state) go to\n"
    "standard output; the driver's messages and the host's own go to standard\n"
    "error.\n"
    "\n"
    "Exit status: 0 every device streamed from start to stop without a dropout or\n"
    "a failure; 1 a device failed or dropped out (even when it recovered), or the\n"
    "output could no longer be written; 2 usage or configuration error; 130 a\n"
    "second Ctrl-C left at once, the tracking systems as they were.\n";

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

// "[DEVICE:]power-cycle-every=EVERY[,silent=LENGTH]" or
// "[DEVICE:]network-down-every=EVERY[,for=LENGTH]".
bool parseSimFault(const std::string& text, SimFault* fault, std::string* error) {
  std::string request = text;
  const size_t colon = request.rfind(':', request.find('='));
  if (colon != std::string::npos) {
    fault->device = request.substr(0, colon);
    request.erase(0, colon + 1);
  }
  const std::string kind = request.substr(0, request.find('='));
  fault->powerCycle = kind == "power-cycle-every";
  if ((!fault->powerCycle && kind != "network-down-every") || kind == request ||
      (colon != std::string::npos && fault->device.empty())) {
    *error =
        "--sim-fault takes [DEVICE:]power-cycle-every=EVERY[,silent=LENGTH] or "
        "[DEVICE:]network-down-every=EVERY[,for=LENGTH], not '" +
        text + "'";
    return false;
  }
  // EVERY[,LENGTH] once the length's key is gone.
  std::string timing = request.substr(kind.size() + 1);
  const size_t comma = timing.find(',');
  const std::string lengthKey = fault->powerCycle ? "silent=" : "for=";
  if (comma != std::string::npos) {
    if (timing.compare(comma + 1, lengthKey.size(), lengthKey) != 0) {
      *error = "--sim-fault " + kind + ": write the length as " + lengthKey + "LENGTH, not '" +
               timing.substr(comma + 1) + "'";
      return false;
    }
    timing.erase(comma + 1, lengthKey.size());
  }
  std::string why;
  if (!sim::parseRepeatingFault(timing, &fault->timing, &why)) {
    *error = "--sim-fault " + kind + ": " + why;
    return false;
  }
  return true;
}

int usageError(const std::string& what) {
  std::fprintf(stderr, "mstar-host: %s\nTry 'mstar-host --help' for more information.\n",
               what.c_str());
  return kExitUsage;
}

void printUsage() {
  std::fputs(kUsage, stdout);
  std::fputs(sim::captureFilesSupported()
                 ? "Capture:\n"
                 : "Capture (not in this build: it was built without libpcap):\n",
             stdout);
  std::fputs(kCaptureUsage, stdout);
  std::fputs(kUsageEnd, stdout);
  std::fputs(publishUsage(), stdout);
}

// The capture options, once the whole command line is read.
int checkCaptureOptions(const Options& options, bool speedGiven) {
  const CaptureSetup& capture = options.capture;
  if (!capture.active() && !speedGiven) return -1;
  if (!sim::captureFilesSupported()) {
    return usageError(
        "--replay, --speed and --record-dir need libpcap, which this mstar-host "
        "was built without");
  }
  if (speedGiven && capture.replayPath.empty()) return usageError("--speed goes with --replay");
  if (!capture.recordDir.empty() && !options.simulate && capture.replayPath.empty()) {
    return usageError(
        "--record-dir records simulated devices: give --simulate or --replay (a "
        "real system is recorded with tcpdump, see the README)");
  }
  return -1;
}

}  // namespace

int parseOptions(int argc, char** argv, Options* options) {
  enum {
    kRate = 1000,
    kSeed,
    kSimFault,
    kDebugLevel,
    kDebugThreshold,
    kStaleAfter,
    kLostAfter,
    kNoRecover,
    kPublish,
    kPublishFormat,
    kReplay,
    kSpeed,
    kRecordDir
  };
  static const option kLong[] = {
      {"simulate", no_argument, nullptr, 's'},
      {"rate", required_argument, nullptr, kRate},
      {"seed", required_argument, nullptr, kSeed},
      {"sim-fault", required_argument, nullptr, kSimFault},
      {"format", required_argument, nullptr, 'f'},
      {"output", required_argument, nullptr, 'o'},
      {"duration", required_argument, nullptr, 'd'},
      {"packets", required_argument, nullptr, 'n'},
      {"log-level", required_argument, nullptr, 'l'},
      {"debug-level", required_argument, nullptr, kDebugLevel},
      {"debug-threshold", required_argument, nullptr, kDebugThreshold},
      {"stale-after", required_argument, nullptr, kStaleAfter},
      {"lost-after", required_argument, nullptr, kLostAfter},
      {"no-recover", no_argument, nullptr, kNoRecover},
      {"help", no_argument, nullptr, 'h'},
      {"replay", required_argument, nullptr, kReplay},
      {"speed", required_argument, nullptr, kSpeed},
      {"record-dir", required_argument, nullptr, kRecordDir},
      {"publish", required_argument, nullptr, kPublish},
      {"publish-format", required_argument, nullptr, kPublishFormat},
      {nullptr, 0, nullptr, 0},
  };
  bool speedGiven = false;
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
      case kSeed:
        if (!parseInteger(optarg, &integer) || integer < 0) {
          return usageError("--seed takes a whole number from 0");
        }
        options->seed = static_cast<uint64_t>(integer);
        break;
      case kSimFault: {
        SimFault fault;
        std::string why;
        if (!parseSimFault(optarg, &fault, &why)) return usageError(why);
        options->simFaults.push_back(fault);
        break;
      }
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
        options->quiet = std::strcmp(optarg, "quiet") == 0;
        if (options->quiet || std::strcmp(optarg, "info") == 0) {
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
      case kStaleAfter:
      case kLostAfter:
        if (!parseNumber(optarg, &number) || number < 0.001 || number > 3600) {
          return usageError(std::string(c == kStaleAfter ? "--stale-after" : "--lost-after") +
                            " takes seconds, from 0.001 to 3600");
        }
        (c == kStaleAfter ? options->limits.staleAfterMs : options->limits.lostAfterMs) =
            static_cast<int64_t>(number * 1000 + 0.5);
        break;
      case kNoRecover:
        options->limits.recover = false;
        break;
      case kReplay:
        options->capture.replayPath = optarg;
        break;
      case kSpeed:
        if (!parseNumber(optarg, &number) || number <= 0 || number > 1000) {
          return usageError("--speed takes a factor above 0, at most 1000");
        }
        options->capture.speed = number;
        speedGiven = true;
        break;
      case kRecordDir:
        options->capture.recordDir = optarg;
        break;
      case 'h':
        printUsage();
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
  if (!options->simulate && !options->simFaults.empty()) {
    return usageError("--sim-fault needs --simulate");
  }
  options->configPath = argv[optind];
  return checkCaptureOptions(*options, speedGiven);
}
