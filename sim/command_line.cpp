#include "sim/command_line.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "sim/capture_options.h"
#include "sim/fault_text.h"

namespace simcli {
namespace {

const char kUsage[] =
    "Usage: mstar-sim [options]\n"
    "Plays a MotionStar tracking system: answers WAKE_UP, SHUT_DOWN, GET_STATUS,\n"
    "SEND_SETUP, RUN_CONTINUOUS and STOP_DATA, keeps the status blocks the driver\n"
    "rewrites, and streams moving sensors (and wand bytes) after RUN_CONTINUOUS.\n"
    "Runs until Ctrl-C or SIGTERM.\n"
    "\n"
    "Network:\n"
    "  -a, --address ADDR        address to bind (default 127.0.0.1)\n"
    "  -p, --protocol P          tcp, udp or both (default both)\n"
    "      --tcp-port PORT       TCP port (default 6000; 0 lets the system pick)\n"
    "      --udp-port PORT       UDP port (default 5000; 0 lets the system pick)\n"
    "\n"
    "Bus:\n"
    "  -t, --trackers N          sensor units, 1..125 (default 2); the bus holds N + 1 units\n"
    "  -e, --erc A               FBB address of the ERC, 1..N+1 (default 1)\n"
    "      --scaling WORD        scaling word of every unit, 0..65535 (default 144)\n"
    "      --hemisphere CODE     hemisphere code the units report at power-on, 0..255\n"
    "                            (default 0, +X; the driver's setup rewrites it)\n"
    "      --report-rate N       report-rate divisor the units report, -128..127 (default 1)\n"
    "      --flags BYTE          system flags byte, 0..255 (default 0x84)\n"
    "      --chassis ID          chassis ID, -128..127 (default 0)\n"
    "      --measurement-rate D  six digits, samples/s x 1000 (default 103300)\n"
    "\n"
    "Data stream:\n"
    "  -r, --rate HZ             data packets per second, 0 for none (default 100)\n"
    "      --seed N              the sensors' paths and the wand's moves (default 1):\n"
    "                            each seed gives every sensor a path of its own above\n"
    "                            the transmitter (+z), the same on every run; 0 gives\n"
    "                            fixed loops that cross the transmitter's planes\n"
    "      --true-positions      report where the sensors are whatever the hemisphere;\n"
    "                            by default a sensor outside its unit's hemisphere\n"
    "                            reports the mirror image, as a magnetic tracker does\n"
    "  -w, --wanda               send a wand that moves both axes and presses all\n"
    "                            three buttons (each once in every 600 packets)\n"
    "      --no-aux              send data packets without their aux record\n"
    "      --distortion SEED[,STRENGTH]\n"
    "                            the room bends the field: every sensor reports its\n"
    "                            pose moved (a few inches at 5 ft from the\n"
    "                            transmitter) and turned (a few degrees) by a smooth\n"
    "                            field of SEED (0..4294967295) and two pieces of\n"
    "                            metal; STRENGTH scales it, 0..10 (default 1)\n"
    "      --control PORT        open a control port on UDP 127.0.0.1:PORT (0 lets\n"
    "                            the system pick; the port is printed). A datagram\n"
    "                            holds one command and gets one reply, \"ok ...\" or\n"
    "                            \"error ...\":\n"
    "                              place UNIT X Y Z AZIMUTH ELEVATION ROLL\n"
    "                            holds the sensor at FBB address UNIT at that true\n"
    "                            pose (feet, degrees; as the driver publishes poses\n"
    "                            without transforms), distorted as above, until\n"
    "                              release UNIT\n"
    "                            sends it back on its path\n"
    "\n"
    "Faults:\n"
    "      --wake-up-error CODE  answer the first WAKE_UP with error CODE, 1..255; the\n"
    "                            good reply follows the driver's STOP_DATA and SHUT_DOWN\n"
    "      --power-cycle-every EVERY[,SILENT]\n"
    "                            lose power every EVERY for SILENT (default 3s, at\n"
    "                            most half of EVERY): no reply, no data, TCP refused\n"
    "                            and its connection reset; then the power-on state\n"
    "                            (blocks as configured, no stream), answering\n"
    "                            nothing before a WAKE_UP\n"
    "      --network-down-every EVERY[,LENGTH]\n"
    "                            lose every packet both ways every EVERY for LENGTH\n"
    "                            (default as for SILENT); the system keeps its state\n"
    "                            and its stream\n"
    "                            Durations: 500ms, 20s, 1.5m; a bare number is seconds.\n"
    "\n"
    "Output:\n"
    "  -v, --verbose             print every packet received, in hex\n"
    "  -h, --help                print this text and exit\n"
    "\n";

const char kExitStatusText[] =
    "Exit status: 0 after a stop signal, 1 when the simulator cannot start (a capture\n"
    "it cannot replay included), 2 for a usage error.\n";

enum LongOnly {
  kTcpPort = 256,
  kUdpPort,
  kScaling,
  kHemisphere,
  kReportRate,
  kFlags,
  kChassis,
  kMeasurementRate,
  kSeed,
  kTruePositions,
  kNoAux,
  kWakeUpError,
  kPowerCycleEvery,
  kNetworkDownEvery,
  kDistortion,
  kControl,
};

// Reads a whole integer (decimal, 0x hexadecimal or 0 octal) within [low, high].
bool parseNumber(const char* text, long long low, long long high, long long* value) {
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

int usageError(const std::string& message) {
  std::cerr << "mstar-sim: " << message << "\n"
            << "Try 'mstar-sim --help' for more information.\n";
  return kExitUsage;
}

}  // namespace

int parseCommandLine(int argc, char** argv, Options* options) {
  static const option kOptions[] = {
      {"address", required_argument, nullptr, 'a'},
      {"protocol", required_argument, nullptr, 'p'},
      {"tcp-port", required_argument, nullptr, kTcpPort},
      {"udp-port", required_argument, nullptr, kUdpPort},
      {"trackers", required_argument, nullptr, 't'},
      {"erc", required_argument, nullptr, 'e'},
      {"scaling", required_argument, nullptr, kScaling},
      {"hemisphere", required_argument, nullptr, kHemisphere},
      {"report-rate", required_argument, nullptr, kReportRate},
      {"flags", required_argument, nullptr, kFlags},
      {"chassis", required_argument, nullptr, kChassis},
      {"measurement-rate", required_argument, nullptr, kMeasurementRate},
      {"rate", required_argument, nullptr, 'r'},
      {"seed", required_argument, nullptr, kSeed},
      {"true-positions", no_argument, nullptr, kTruePositions},
      {"wanda", no_argument, nullptr, 'w'},
      {"no-aux", no_argument, nullptr, kNoAux},
      {"wake-up-error", required_argument, nullptr, kWakeUpError},
      {"power-cycle-every", required_argument, nullptr, kPowerCycleEvery},
      {"network-down-every", required_argument, nullptr, kNetworkDownEvery},
      {"distortion", required_argument, nullptr, kDistortion},
      {"control", required_argument, nullptr, kControl},
      {"verbose", no_argument, nullptr, 'v'},
      {"help", no_argument, nullptr, 'h'},
      sim::kCaptureOptions[0],
      sim::kCaptureOptions[1],
      sim::kCaptureOptions[2],
      sim::kCaptureOptions[3],
      {nullptr, 0, nullptr, 0},
  };

  sim::Config& config = options->config;
  config.rate = 100;
  config.seed = 1;
  config.modelHemisphere = true;
  int trackers = 2;
  opterr = 0;
  optind = 0;  // a fresh scan, also for a second call
  int code;
  while ((code = getopt_long(argc, argv, ":a:p:t:e:r:wvh", kOptions, nullptr)) != -1) {
    long long value = 0;
    // The option as the user knows it, for messages.
    std::string name = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    for (const option* known = kOptions; known->name != nullptr; ++known) {
      if (known->val == (code == ':' ? optopt : code)) name = std::string("--") + known->name;
    }
    auto number = [&](long long low, long long high) {
      return parseNumber(optarg, low, high, &value);
    };
    auto bad = [&] {
      return usageError("invalid value '" + std::string(optarg) + "' for " + name);
    };
    std::string why;
    switch (code) {
      case 'a':
        config.address = optarg;
        break;
      case 'p': {
        const std::string protocol = optarg;
        if (protocol == "tcp" || protocol == "both" || protocol == "udp") {
          config.enableTcp = protocol != "udp";
          config.enableUdp = protocol != "tcp";
        } else {
          return bad();
        }
        break;
      }
      case kTcpPort:
        if (!number(0, 65535)) return bad();
        config.tcpPort = static_cast<uint16_t>(value);
        break;
      case kUdpPort:
        if (!number(0, 65535)) return bad();
        config.udpPort = static_cast<uint16_t>(value);
        break;
      case 't':
        if (!number(1, 125)) return bad();
        trackers = static_cast<int>(value);
        break;
      case 'e':
        if (!number(1, 126)) return bad();
        config.ercAddress = static_cast<int>(value);
        break;
      case kScaling:
        if (!number(0, 65535)) return bad();
        config.unitDefaults.scaling = static_cast<uint16_t>(value);
        break;
      case kHemisphere:
        if (!number(0, 255)) return bad();
        config.unitDefaults.hemisphere = static_cast<uint8_t>(value);
        break;
      case kReportRate:
        if (!number(-128, 127)) return bad();
        config.unitDefaults.reportRate = static_cast<int8_t>(value);
        break;
      case kFlags:
        if (!number(0, 255)) return bad();
        config.systemFlags = static_cast<uint8_t>(value);
        break;
      case kChassis:
        if (!number(-128, 127)) return bad();
        config.chassisId = static_cast<int8_t>(value);
        break;
      case kMeasurementRate: {
        const std::string digits = optarg;
        if (digits.size() != 6 || digits.find_first_not_of("0123456789") != std::string::npos) {
          return bad();
        }
        config.measurementRate = digits;
        break;
      }
      case 'r': {
        char* end = nullptr;
        errno = 0;
        const double rate = std::strtod(optarg, &end);
        if (errno != 0 || end == optarg || *end != '\0' || !(rate >= 0) || rate > 100000) {
          return bad();
        }
        config.rate = rate;
        break;
      }
      case kSeed:
        if (!number(0, INT64_MAX)) return bad();
        config.seed = static_cast<uint64_t>(value);
        break;
      case kTruePositions:
        config.modelHemisphere = false;
        break;
      case 'w':
        config.wanda = true;
        break;
      case kNoAux:
        config.auxRecord = false;
        break;
      case kWakeUpError:
        if (!number(1, 255)) return bad();
        options->wakeUpError = static_cast<uint8_t>(value);
        break;
      case kPowerCycleEvery:
      case kNetworkDownEvery:
        if (!sim::parseRepeatingFault(
                optarg, code == kPowerCycleEvery ? &config.powerCycles : &config.networkOutages,
                &why)) {
          return usageError(name + ": " + why);
        }
        break;
      case kDistortion:
        if (!sim::parseDistortion(optarg, &config.distortion, &why)) {
          return usageError(name + ": " + why);
        }
        break;
      case kControl:
        if (!number(0, 65535)) return bad();
        options->controlPort = static_cast<int>(value);
        break;
      case 'v':
        config.verbose = true;
        break;
      case sim::kOptReplay:
      case sim::kOptSpeed:
      case sim::kOptLoop:
      case sim::kOptRecord:
        if (!sim::readCaptureOption(code, optarg, &options->capture, &why)) return usageError(why);
        break;
      case 'h':
        std::cout << kUsage << sim::captureHelp() << kExitStatusText;
        return kExitOk;
      case ':':
        return usageError("option " + name + " needs a value");
      default:
        return usageError("unknown option " + name);
    }
  }
  if (optind < argc) return usageError("unexpected argument '" + std::string(argv[optind]) + "'");
  config.units = trackers + 1;
  if (config.ercAddress > config.units) {
    return usageError("the ERC address " + std::to_string(config.ercAddress) +
                      " is not on a bus of " + std::to_string(config.units) + " units");
  }
  if (options->capture.replayPath.empty() &&
      (options->capture.speedGiven || options->capture.loop)) {
    return usageError("--speed and --loop go with --replay");
  }
  if (config.wanda) {
    config.wandScript = sim::Simulator::wandScript(config.seed);
    config.loopWandScript = true;
  }
  return -1;
}

}  // namespace simcli
