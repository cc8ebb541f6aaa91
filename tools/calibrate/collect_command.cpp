// mstar-calibrate collect: a survey through the driver. For each true pose
// of a plan the sensor is put there (by the user, or placed in the
// simulator), readings of the tracker are averaged and the pair written.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "host/simulator_options.h"
#include "sim/simulator.h"
#include "tools/calibrate/arguments.h"
#include "tools/calibrate/commands.h"
#include "tools/calibrate/survey_reader.h"

namespace calibrate {
namespace {

// The survey records what the calibration library receives: the decoded
// pose, before any calibration and transform.
const char* const kLeftOut[] = {
    "calibration",  "transmitteroffset", "transmitterrotation", "transmitterrotationmatrix",
    "sensoroffset", "sensortranslation", "sensorrotation",      "sensorrotationmatrix"};
// A survey gives up when the tracker sends nothing for this long.
constexpr int32_t kSilenceMs = 5000;

struct CollectOptions {
  std::string plan, output, config, device;
  long tracker = 1, readings = 30, button = 0;
  bool simulate = false;
  bool distortionGiven = false;
  sim::DistortionSetting distortion{true, 1, 1.0};
  double rate = 500;
  // Where the simulator listens, on the device's fixed ports.
  std::string simulatorAddress = "127.0.0.31";
};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

long numberOf(const DeviceBlock& block, const char* option, long fallback) {
  const OptionLine* line = block.find(option);
  if (line == nullptr || line->args.empty()) return fallback;
  return std::strtol(line->args[0].c_str(), nullptr, 0);
}

// The device block to survey with: from the file, or one tracker over TCP
// for the simulator. Its own simulator lines are taken out (and give the
// distortion unless the command line did), and so are its calibration and
// transform lines.
bool surveyBlock(CollectOptions& o, DeviceBlock* block, std::string* error) {
  ConfigFile config;
  if (o.config.empty()) {
    parseConfigText("device survey motionstar 1\nprotocol tcp\n", "collect", &config, error);
  } else if (!readConfigFile(o.config, &config, error)) {
    return false;
  }
  std::vector<DeviceSimulatorOptions> simulatorOptions;
  if (!takeSimulatorOptions(config, o.config, &simulatorOptions, error)) return false;
  size_t chosen = 0;
  while (!o.device.empty() && chosen < config.devices.size() &&
         config.devices[chosen].name != o.device) {
    ++chosen;
  }
  if (chosen == config.devices.size()) {
    *error = o.config + ": no device \"" + o.device + "\"";
    return false;
  }
  *block = config.devices[chosen];
  if (!o.distortionGiven && simulatorOptions[chosen].distortionLine != 0) {
    o.distortion = simulatorOptions[chosen].distortion;
  }
  std::vector<OptionLine> kept;
  for (const OptionLine& line : block->options) {
    bool drop = false;
    for (const char* name : kLeftOut) drop = drop || lower(line.name) == name;
    if (drop) {
      std::fprintf(stderr,
                   "mstar-calibrate: %s:%u: %s left out: the survey records poses as "
                   "the calibration receives them\n",
                   o.config.c_str(), line.line, line.name.c_str());
    } else {
      kept.push_back(line);
    }
  }
  block->options = kept;
  const long trackers = block->args.empty() ? 2 : std::strtol(block->args[0].c_str(), nullptr, 0);
  if (o.tracker > trackers) {
    *error = "device \"" + block->name + "\" has " + std::to_string(trackers) + " trackers, not " +
             std::to_string(o.tracker);
    return false;
  }
  return true;
}

// A simulator for the block, on loopback, with the room's distortion and
// positions reported in every hemisphere; the block is pointed at it.
// *address is the FBB address of the surveyed tracker.
std::unique_ptr<sim::Simulator> startSimulator(const CollectOptions& o, DeviceBlock* block,
                                               int* address, std::string* error) {
  sim::Config config;
  const OptionLine* protocol = block->find("protocol");
  const bool udp =
      protocol != nullptr && !protocol->args.empty() && lower(protocol->args[0]) == "udp";
  config.address = o.simulatorAddress;
  config.enableTcp = !udp;
  config.enableUdp = udp;
  config.units =
      static_cast<int>(block->args.empty() ? 2 : std::strtol(block->args[0].c_str(), nullptr, 0)) +
      1;
  config.ercAddress = static_cast<int>(numberOf(*block, "erc", 1));
  config.rate = o.rate;
  config.distortion = o.distortion;
  config.wanda = block->find("wanda") != nullptr;
  // The device's trackers take the bus's addresses in order, the ERC's aside.
  *address = static_cast<int>(o.tracker) + (config.ercAddress <= o.tracker ? 1 : 0);
  auto simulator = std::make_unique<sim::Simulator>(config);
  if (!simulator->start(error)) {
    *error = "the simulator did not start: " + *error;
    return nullptr;
  }
  block->options.erase(std::remove_if(block->options.begin(), block->options.end(),
                                      [](const OptionLine& line) {
                                        const std::string name = lower(line.name);
                                        return name == "motionstaraddress" || name == "port";
                                      }),
                       block->options.end());
  block->options.push_back({block->line, "motionstaraddress", {o.simulatorAddress}});
  if (udp) block->options.push_back({block->line, "port", {"0"}});
  return simulator;
}

bool parseCollect(Arguments& args, CollectOptions* o) {
  std::string value;
  while (!args.done()) {
    const std::string word = args.take();
    if (word == "-o" || word == "--output") {
      if (!args.valueOf(word, &o->output)) return false;
    } else if (word == "--config") {
      if (!args.valueOf(word, &o->config)) return false;
    } else if (word == "--device") {
      if (!args.valueOf(word, &o->device)) return false;
    } else if (word == "--tracker") {
      if (!args.valueOf(word, &value) || !args.whole(word, value, 1, 32, &o->tracker)) return false;
    } else if (word == "--readings") {
      if (!args.valueOf(word, &value) || !args.whole(word, value, 1, 100000, &o->readings))
        return false;
    } else if (word == "--button") {
      if (!args.valueOf(word, &value) || !args.whole(word, value, 1, 3, &o->button)) return false;
    } else if (word == "--simulate") {
      o->simulate = true;
    } else if (word == "--distortion") {
      std::string why;
      if (!args.valueOf(word, &value)) return false;
      if (!sim::parseDistortion(value, &o->distortion, &why)) return args.fail(word + ": " + why);
      o->distortionGiven = true;
    } else if (word == "--simulator-address") {
      if (!args.valueOf(word, &o->simulatorAddress)) return false;
    } else if (word == "--rate") {
      double rate = 0;
      if (!args.valueOf(word, &value) || !args.numbers(word, value, 1, &rate)) return false;
      if (!(rate > 0 && rate <= 10000))
        return args.fail("--rate takes 0 to 10000 packets a second");
      o->rate = rate;
    } else if (!word.empty() && word[0] == '-') {
      return args.fail("unknown option \"" + word + "\" for collect");
    } else if (o->plan.empty()) {
      o->plan = word;
    } else {
      return args.fail("collect takes one plan, not also \"" + word + "\"");
    }
  }
  if (o->plan.empty()) return args.fail("collect needs a plan: collect PLAN -o PAIRS");
  if (o->output.empty()) return args.fail("collect needs -o PAIRS");
  if (!o->simulate && o->config.empty()) {
    return args.fail("collect needs --config FILE (the host's configuration), or --simulate");
  }
  if (!o->simulate && o->distortionGiven) return args.fail("--distortion needs --simulate");
  return true;
}

}  // namespace

int runCollect(const std::vector<std::string>& words) {
  Arguments args(words);
  CollectOptions o;
  if (!parseCollect(args, &o)) return usageError(args.error());
  std::vector<PoseRow> plan;
  std::string error;
  if (!readPlan(o.plan, &plan, &error)) return failure(error);
  DeviceBlock block;
  if (!surveyBlock(o, &block, &error)) return failure(error);
  std::unique_ptr<sim::Simulator> simulator;
  int address = 0;
  if (o.simulate && !(simulator = startSimulator(o, &block, &address, &error))) {
    return failure(error);
  }
  std::ofstream out(o.output);
  if (!out) return failure(o.output + ": cannot write the file");
  out << "# survey of tracker " << o.tracker << " of device " << block.name << ": " << o.readings
      << " readings a pose; spos: their RMS distance from the mean (inches), sang: their RMS angle "
         "from it (degrees), n: readings\n";
  writePairsHeader(out, {"spos", "sang", "n"});
  out.flush();

  SurveyReader reader(static_cast<uint32_t>(o.tracker), static_cast<int>(o.button));
  if (!reader.start(block, &error)) return failure(error);
  for (size_t i = 0; i < plan.size(); ++i) {
    const PoseRow& truth = plan[i];
    uint64_t skip = 0;
    if (simulator) {
      const sim::Pose pose{truth.position, truth.angles[0], truth.angles[1], truth.angles[2]};
      if (!simulator->placeSensor(address, pose, &skip, &error)) {
        return failure("pose " + std::to_string(i + 1) + ": " + error);
      }
    } else {
      std::printf(
          "pose %zu of %zu: put tracker %ld at x %.3f y %.3f z %.3f ft, azimuth %.1f "
          "elevation %.1f roll %.1f, then press Enter%s\n",
          i + 1, plan.size(), o.tracker, truth.position[0], truth.position[1], truth.position[2],
          truth.angles[0], truth.angles[1], truth.angles[2],
          o.button > 0 ? " or the wand's button" : "");
      std::fflush(stdout);
      if (!reader.waitForSignal()) return failure("standard input ended before the survey did");
      skip = reader.readingCount();
    }
    AveragedPose measured;
    if (!reader.average(skip, static_cast<size_t>(o.readings), kSilenceMs, &measured, &error)) {
      return failure("pose " + std::to_string(i + 1) + ": " + error);
    }
    writePairRow(out, {measured.mean, truth},
                 {measured.positionSpread, measured.orientationSpread,
                  static_cast<double>(measured.readings)});
    out.flush();
    if (!out) return failure(o.output + ": writing failed");
    std::printf(
        "pose %zu of %zu: measured %.3f %.3f %.3f ft %.2f %.2f %.2f deg (spread %.3f in, "
        "%.3f deg)\n",
        i + 1, plan.size(), measured.mean.position[0], measured.mean.position[1],
        measured.mean.position[2], measured.mean.angles[0], measured.mean.angles[1],
        measured.mean.angles[2], measured.positionSpread, measured.orientationSpread);
    std::fflush(stdout);
  }
  reader.stop();
  std::printf("%zu pairs written to %s\n", plan.size(), o.output.c_str());
  return kExitDone;
}

}  // namespace calibrate
