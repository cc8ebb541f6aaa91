// mstar-host run as a user runs it: as its own process, its output read
// line by line, stopped with Ctrl-C.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "e2e/harness.h"
#include "platform/child_process.h"

namespace {

constexpr int32_t kWaitMs = 20000;

struct HostRun {
  std::vector<std::string> lines;
  int status = -1;
};

// The command that starts the host: under the build's emulator, if any.
std::vector<std::string> hostCommand(std::vector<std::string> arguments) {
  std::vector<std::string> command;
  const std::string emulator = HOST_EMULATOR;
  for (size_t start = 0; start < emulator.size();) {
    size_t end = emulator.find('|', start);
    if (end == std::string::npos) end = emulator.size();
    command.push_back(emulator.substr(start, end - start));
    start = end + 1;
  }
  command.push_back(HOST_PATH);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

// Runs the host to its end and collects its standard output.
HostRun runHost(std::vector<std::string> arguments, bool mergeStderr = false) {
  arguments = hostCommand(arguments);
  platform::ChildProcess host;
  HostRun run;
  if (!host.start(arguments, mergeStderr)) return run;
  for (std::string line; host.readLine(&line, kWaitMs);) run.lines.push_back(line);
  run.status = host.wait(kWaitMs);
  return run;
}

// The fields of one JSON line the host writes, as text.
std::map<std::string, std::string> fields(const std::string& line) {
  std::map<std::string, std::string> out;
  static const std::regex field("\"([a-z]+)\":(\"[^\"]*\"|\\[[^\\]]*\\]|[-0-9.]+)");
  for (std::sregex_iterator it(line.begin(), line.end(), field), end; it != end; ++it) {
    out[(*it)[1]] = (*it)[2];
  }
  return out;
}

std::string writeFile(const std::string& name, const std::string& text) {
  const std::string path = std::string(SCRATCH_DIR) + "/" + name;
  std::ofstream(path) << text;
  return path;
}

TEST(HostProcess, EveryExampleRunsOnTheSimulator) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  struct Example {
    const char* file;
    std::set<std::pair<std::string, int>> trackers;
    bool wand;
  } examples[] = {
      {"two-trackers-tcp.conf", {{"motionstar", 1}, {"motionstar", 2}}, false},
      {"eight-trackers-wanda-udp.conf",
       {{"cave", 1},
        {"cave", 2},
        {"cave", 3},
        {"cave", 4},
        {"cave", 5},
        {"cave", 6},
        {"cave", 7},
        {"cave", 8}},
       true},
      {"two-devices.conf",
       {{"front", 1}, {"front", 2}, {"front", 3}, {"front", 4}, {"side", 5}, {"side", 6}},
       true},
  };
  for (const Example& example : examples) {
    SCOPED_TRACE(example.file);
    HostRun run = runHost({"--simulate", "--format", "jsonl", "--packets", "20",
                           std::string(EXAMPLES_DIR) + "/" + example.file});
    EXPECT_EQ(run.status, 0);
    std::set<std::pair<std::string, int>> seen;
    bool wandSeen = false;
    for (const std::string& line : run.lines) {
      auto f = fields(line);
      ASSERT_EQ(f.count("type"), 1u) << "not a record: " << line;
      const std::string device = f["device"].substr(1, f["device"].size() - 2);
      if (f["type"] == "\"controller\"") {
        wandSeen = true;
        continue;
      }
      seen.insert({device, std::stoi(f["id"])});
      // Positions within the full-scale range plus the example's offsets,
      // angles within a half turn.
      for (const char* axis : {"x", "y", "z"}) EXPECT_LE(std::fabs(std::stod(f[axis])), 21.0);
      for (const char* angle : {"azimuth", "elevation", "roll"}) {
        EXPECT_LE(std::fabs(std::stod(f[angle])), 180.0);
      }
    }
    EXPECT_EQ(seen, example.trackers);
    EXPECT_EQ(wandSeen, example.wand);
  }
}

// The records of a jsonl run, by device and output ID, in order.
std::map<std::pair<std::string, int>, std::vector<std::map<std::string, std::string>>>
trackerRecords(const HostRun& run) {
  std::map<std::pair<std::string, int>, std::vector<std::map<std::string, std::string>>> byId;
  for (const std::string& line : run.lines) {
    auto f = fields(line);
    if (f["type"] != "\"tracker\"") continue;
    byId[{f["device"].substr(1, f["device"].size() - 2), std::stoi(f["id"])}].push_back(f);
  }
  return byId;
}

TEST(HostProcess, SimulatedDevicesFollowPathsOfTheirOwnSeeds) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  HostRun run = runHost({"--simulate", "--format", "jsonl", "--packets", "3", "--seed", "40",
                         std::string(EXAMPLES_DIR) + "/two-devices.conf"});
  EXPECT_EQ(run.status, 0);
  const auto byId = trackerRecords(run);
  // Device k of the file takes seed 40 + k - 1; output ID n of a device with
  // the transmitter at address 1 is unit n + 1. The first record holds the
  // stream's first packet.
  struct Expected {
    const char* device;
    int id;
    uint64_t seed;
    int unit;
  } expected[] = {{"front", 1, 40, 2}, {"front", 2, 40, 3}, {"front", 3, 40, 4},
                  {"front", 4, 40, 5}, {"side", 5, 41, 2},  {"side", 6, 41, 3}};
  std::set<std::string> firstPositions;
  for (const Expected& e : expected) {
    SCOPED_TRACE(std::string(e.device) + " " + std::to_string(e.id));
    const auto found = byId.find({e.device, e.id});
    ASSERT_NE(found, byId.end());
    const auto& first = found->second.front();
    const std::array<double, 6> want =
        e2e::expectedPose(sim::Simulator::unitWords(e.seed, e.unit, 0));
    const char* names[6] = {"x", "y", "z", "azimuth", "elevation", "roll"};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(std::stod(first.at(names[i])), want[i], 2e-5);
    firstPositions.insert(first.at("x") + "," + first.at("y") + "," + first.at("z"));
  }
  EXPECT_EQ(firstPositions.size(), 6u) << "every sensor somewhere else";
}

TEST(HostProcess, SimulatedNetworkOutageOfOneDeviceLeavesTheOtherPublishing) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  HostRun run = runHost({"--simulate", "--format", "jsonl", "--duration", "3.5", "--sim-fault",
                         "side:network-down-every=1.2s,for=1s",
                         std::string(EXAMPLES_DIR) + "/two-devices.conf"});
  EXPECT_EQ(run.status, 0);
  const auto byId = trackerRecords(run);
  auto times = [&](const std::string& device, int id) {
    std::vector<double> t;
    const auto found = byId.find({device, id});
    if (found != byId.end()) {
      for (const auto& f : found->second) t.push_back(std::stod(f.at("time")));
    }
    return t;
  };
  const std::vector<double> side = times("side", 5);
  const std::vector<double> front = times("front", 1);
  ASSERT_GE(side.size(), 2u);
  // The side's largest gap is its outage; it publishes again after it
  // without being set up again, and the front publishes all along.
  size_t gapEnd = 1;
  for (size_t i = 1; i < side.size(); ++i) {
    if (side[i] - side[i - 1] > side[gapEnd] - side[gapEnd - 1]) gapEnd = i;
  }
  EXPECT_GE(side[gapEnd] - side[gapEnd - 1], 0.8);
  const auto inGap = std::count_if(front.begin(), front.end(), [&](double t) {
    return t > side[gapEnd - 1] && t < side[gapEnd];
  });
  EXPECT_GT(inGap, 10);
}

TEST(HostProcess, SimulationOptionsAreChecked) {
  const std::string file = std::string(EXAMPLES_DIR) + "/two-devices.conf";
  struct Refused {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  } refused[] = {
      {{"--simulate", "--seed", "-3", file}, 2, "mstar-host: --seed takes a whole number from 0"},
      {{"--sim-fault", "power-cycle-every=20s", file},
       2,
       "mstar-host: --sim-fault needs --simulate"},
      {{"--simulate", "--sim-fault", "power-cycle-every=20s,for=2s", file},
       2,
       "mstar-host: --sim-fault power-cycle-every: write the length as silent=LENGTH, not "
       "'for=2s'"},
      {{"--simulate", "--sim-fault", "front:network-down-every=1s,for=1s", file},
       2,
       "mstar-host: --sim-fault network-down-every: '1s,1s': each spell must end before the "
       "next begins"},
      {{"--simulate", "--sim-fault", "power-off", file},
       2,
       "mstar-host: --sim-fault takes [DEVICE:]power-cycle-every=EVERY[,silent=LENGTH] or "
       "[DEVICE:]network-down-every=EVERY[,for=LENGTH], not 'power-off'"},
      {{"--simulate", "--sim-fault", "back:power-cycle-every=20s", file},
       1,
       "mstar-host: --sim-fault names the device \"back\", which the file does not have"},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.arguments[r.arguments.size() - 2]);
    HostRun run = runHost(r.arguments, true);
    EXPECT_EQ(run.status, r.status);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines[0], r.message);
  }
}

TEST(HostProcess, InterruptStopsTheStreamAndShutsTheSystemDown) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  sim::Config config;
  config.units = 3;
  config.enableUdp = false;
  config.rate = 200;
  std::string address;
  auto simulator = e2e::startSimulator(config, &address);
  ASSERT_TRUE(simulator);
  const std::string path = writeFile(
      "interrupt.conf", "device live " MODULE_PATH "\nmotionstaraddress " + address + "\n");
  platform::ChildProcess host;
  ASSERT_TRUE(host.start(hostCommand({"--format", "csv", path}), false));
  std::string line;
  ASSERT_TRUE(host.readLine(&line, kWaitMs));
  EXPECT_EQ(line, "time,device,type,id,x,y,z,azimuth,elevation,roll,valuators,buttons");
  ASSERT_TRUE(host.readLine(&line, kWaitMs));
  EXPECT_NE(line.find(",live,tracker,"), std::string::npos) << line;
  host.interrupt();
  while (host.readLine(&line, kWaitMs)) {
  }
  EXPECT_EQ(host.wait(kWaitMs), 0);
  EXPECT_TRUE(simulator->waitForCommand(sim::kStopData, 1, std::chrono::seconds(5)));
  EXPECT_TRUE(simulator->waitForCommand(sim::kShutDown, 1, std::chrono::seconds(5)));
  EXPECT_FALSE(simulator->streaming());
}

TEST(HostProcess, ExitCodesAndMessages) {
  HostRun help = runHost({"--help"});
  EXPECT_EQ(help.status, 0);
  ASSERT_FALSE(help.lines.empty());
  EXPECT_EQ(help.lines[0], "Usage: mstar-host [OPTION]... CONFIG_FILE");

  HostRun badOption = runHost({"--colour"}, true);
  EXPECT_EQ(badOption.status, 2);
  ASSERT_FALSE(badOption.lines.empty());
  EXPECT_EQ(badOption.lines[0], "mstar-host: unknown option '--colour'");

  HostRun noFile = runHost({std::string(SCRATCH_DIR) + "/missing.conf"}, true);
  EXPECT_EQ(noFile.status, 2);
  ASSERT_FALSE(noFile.lines.empty());
  EXPECT_EQ(noFile.lines[0], "mstar-host: " SCRATCH_DIR "/missing.conf: cannot be read");

  const std::string broken = writeFile("broken.conf", "# start\nprotocol tcp\n");
  HostRun configError = runHost({broken}, true);
  EXPECT_EQ(configError.status, 2);
  ASSERT_FALSE(configError.lines.empty());
  EXPECT_EQ(configError.lines[0],
            "mstar-host: " + broken + ":2: option \"protocol\" before any device line");

  // The driver refuses the option; the host stops with a device failure.
  const std::string faulty = writeFile(
      "faulty.conf", "device bad " MODULE_PATH "\nmotionstaraddress 127.0.0.1\nsync maybe\n");
  HostRun deviceError = runHost({"--format", "jsonl", faulty}, true);
  EXPECT_EQ(deviceError.status, 1);
  bool named = false;
  for (const std::string& line : deviceError.lines) {
    named = named ||
            line.find("CMotionStar: Invalid string found for Sync at line 3.") != std::string::npos;
  }
  EXPECT_TRUE(named);
  EXPECT_EQ(deviceError.lines.back(), "mstar-host: device \"bad\": init failed");
}

}  // namespace
