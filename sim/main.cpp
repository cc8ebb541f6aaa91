// mstar-sim: plays a MotionStar tracking system on the network until
// Ctrl-C or SIGTERM, for trying the driver and the host without hardware.
#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/signals.h"
#include "sim/capture_options.h"
#include "sim/simulator.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

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
    "      --hemisphere CODE     hemisphere code the units report, 0..255 (default 0)\n"
    "      --report-rate N       report-rate divisor the units report, -128..127 (default 1)\n"
    "      --flags BYTE          system flags byte, 0..255 (default 0x84)\n"
    "      --chassis ID          chassis ID, -128..127 (default 0)\n"
    "      --measurement-rate D  six digits, samples/s x 1000 (default 103300)\n"
    "\n"
    "Data stream:\n"
    "  -r, --rate HZ             data packets per second, 0 for none (default 100)\n"
    "  -w, --wanda               send a wand that moves and presses its buttons\n"
    "      --no-aux              send data packets without their aux record\n"
    "\n"
    "Faults:\n"
    "      --wake-up-error CODE  answer the first WAKE_UP with error CODE, 1..255; the\n"
    "                            good reply follows the driver's STOP_DATA and SHUT_DOWN\n"
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
  kNoAux,
  kWakeUpError,
};

// Reads a whole integer (decimal, 0x hexadecimal or 0 octal) within [low, high].
bool parseNumber(const char* text, long low, long high, long* value) {
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

int usageError(const std::string& message) {
  std::cerr << "mstar-sim: " << message << "\n"
            << "Try 'mstar-sim --help' for more information.\n";
  return kExitUsage;
}

// A wand moving its stick round a circle while the buttons go through
// their combinations; one four-byte wand packet per data packet.
std::vector<std::vector<uint8_t>> demoWandScript() {
  constexpr int kSteps = 200;
  constexpr double kTwoPi = 6.283185307179586;
  std::vector<std::vector<uint8_t>> script;
  for (int step = 0; step < kSteps; ++step) {
    const double angle = kTwoPi * step / kSteps;
    script.push_back(
        sim::Simulator::wandPacket(static_cast<int8_t>(std::lround(30 * std::cos(angle))),
                                   static_cast<int8_t>(std::lround(30 * std::sin(angle))),
                                   (step / 50) % 2 == 1, (step / 100) % 2 == 1, (step / 25) % 2));
  }
  return script;
}

}  // namespace

int main(int argc, char** argv) {
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
      {"wanda", no_argument, nullptr, 'w'},
      {"no-aux", no_argument, nullptr, kNoAux},
      {"wake-up-error", required_argument, nullptr, kWakeUpError},
      {"verbose", no_argument, nullptr, 'v'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  // The capture options join the program's own.
  std::vector<option> options(std::begin(kOptions), std::end(kOptions) - 1);
  options.insert(options.end(), std::begin(sim::kCaptureOptions), std::end(sim::kCaptureOptions));
  options.push_back({nullptr, 0, nullptr, 0});
  sim::CaptureRequest capture;

  sim::Config config;
  config.rate = 100;
  int trackers = 2;
  long wakeUpError = 0;
  opterr = 0;
  int code;
  while ((code = getopt_long(argc, argv, ":a:p:t:e:r:wvh", options.data(), nullptr)) != -1) {
    long value = 0;
    // The option as the user knows it, for messages.
    std::string name = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    for (const option* known = options.data(); known->name != nullptr; ++known) {
      if (known->val == (code == ':' ? optopt : code)) name = std::string("--") + known->name;
    }
    auto number = [&](long low, long high) {
      if (parseNumber(optarg, low, high, &value)) return true;
      return false;
    };
    auto bad = [&] {
      return usageError("invalid value '" + std::string(optarg) + "' for " + name);
    };
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
      case 'w':
        config.wanda = true;
        break;
      case kNoAux:
        config.auxRecord = false;
        break;
      case kWakeUpError:
        if (!number(1, 255)) return bad();
        wakeUpError = value;
        break;
      case 'v':
        config.verbose = true;
        break;
      case sim::kOptReplay:
      case sim::kOptSpeed:
      case sim::kOptLoop:
      case sim::kOptRecord: {
        std::string why;
        if (!sim::readCaptureOption(code, optarg, &capture, &why)) return usageError(why);
        break;
      }
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
  if (config.wanda) {
    config.wandScript = demoWandScript();
    config.loopWandScript = true;
  }
  config.log = [](const std::string& line) { std::cout << "mstar-sim: " << line << std::endl; };
  if (capture.replayPath.empty() && (capture.speedGiven || capture.loop)) {
    return usageError("--speed and --loop go with --replay");
  }
  std::vector<std::string> captureLines;
  std::string captureError;
  if (!sim::applyCaptureRequest(capture, &config, &captureLines, &captureError)) {
    std::cerr << "mstar-sim: " << captureError << "\n";
    return kExitFailure;
  }
  for (const std::string& line : captureLines) config.log(line);

  sim::Simulator simulator(config);
  if (wakeUpError != 0) {
    sim::CommandFault fault{sim::CommandFault::Kind::kWakeUpError};
    fault.errorCode = static_cast<uint8_t>(wakeUpError);
    simulator.injectCommandFault(sim::kWakeUp, fault);
  }
  platform::installStopSignals();
  std::string error;
  if (!simulator.start(&error)) {
    std::cerr << "mstar-sim: " << error << "\n";
    return kExitFailure;
  }
  while (!platform::stopRequested()) platform::sleepMilliseconds(50);
  simulator.stop();
  std::cout << "mstar-sim: stopped after " << simulator.packetsSent() << " data packets"
            << std::endl;
  return kExitOk;
}
