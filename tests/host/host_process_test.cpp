// mstar-host run as a user runs it: as its own process, its output read
// line by line, stopped with Ctrl-C, its systems power-cycled under it.
#include <gtest/gtest.h>

#if defined(_WIN32)

TEST(HostProcess, NeedsPosixProcesses) {
  GTEST_SKIP() << "these tests start mstar-host with fork and exec, stop it with SIGINT and "
                  "read it through pipes: POSIX only";
}

#else

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "e2e/harness.h"
#include "host/simulated_systems.h"
#include "platform/child_process.h"
#include "platform/process.h"
#include "sim/capture_reader.h"

namespace {

constexpr int32_t kWaitMs = 20000;

struct HostRun {
  std::vector<std::string> lines;
  std::string errors;  // standard error, when captured
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

enum class Errors { kInherit, kMerge, kApart };

// Runs the host to its end and collects its output.
HostRun runHost(std::vector<std::string> arguments, Errors errors = Errors::kInherit) {
  platform::ChildProcess host;
  HostRun run;
  if (!host.start(hostCommand(arguments), errors == Errors::kMerge, errors == Errors::kApart)) {
    return run;
  }
  for (std::string line; host.readLine(&line, kWaitMs);) run.lines.push_back(line);
  run.status = host.wait(kWaitMs);
  run.errors = host.errorOutput();
  return run;
}

// The fields of one JSON line the host writes, as text.
std::map<std::string, std::string> fields(const std::string& line) {
  std::map<std::string, std::string> out;
  static const std::regex field("\"([a-z_]+)\":(\"[^\"]*\"|\\[[^\\]]*\\]|[-0-9.]+)");
  for (std::sregex_iterator it(line.begin(), line.end(), field), end; it != end; ++it) {
    out[(*it)[1]] = (*it)[2];
  }
  return out;
}

std::string unquoted(const std::string& text) {
  return text.size() >= 2 && text.front() == '"' ? text.substr(1, text.size() - 2) : text;
}

int64_t wallMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string writeFile(const std::string& name, const std::string& text) {
  const std::string path = std::string(SCRATCH_DIR) + "/" + name;
  std::ofstream(path) << text;
  return path;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(SimulatingHost, EveryExampleRunsOnTheSimulator) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  struct Example {
    const char* file;
    std::set<std::pair<std::string, int> > trackers;
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
    std::set<std::pair<std::string, int> > seen;
    std::set<std::string> streaming;
    bool wandSeen = false;
    for (const std::string& line : run.lines) {
      auto f = fields(line);
      ASSERT_EQ(f.count("type"), 1u) << "not a record: " << line;
      const std::string device = unquoted(f["device"]);
      if (f["type"] == "\"status\"") {
        const std::string state = unquoted(f["state"]);
        EXPECT_TRUE(state == "starting" || state == "streaming" || state == "stopped") << line;
        if (state == "streaming") streaming.insert(device);
        continue;
      }
      // Published after the driver stamped it.
      EXPECT_GE(std::stod(f["host_time_us"]) / 1e6 + 0.001, std::stod(f["time"])) << line;
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
    std::set<std::string> devices;
    for (const auto& tracker : example.trackers) devices.insert(tracker.first);
    EXPECT_EQ(streaming, devices);
  }
}

// The README's run command draws the live table; after --packets its last
// frame shows the devices stopped at the rate they had, not at 0.
TEST(SimulatingHost, TheTableShowsEachDevicesState) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  HostRun run = runHost({"--simulate", "--format", "table", "--packets", "60",
                         std::string(EXAMPLES_DIR) + "/two-devices.conf"});
  EXPECT_EQ(run.status, 0);
  std::map<std::string, std::string> lastRow;
  bool header = false;
  for (const std::string& line : run.lines) {
    header = header || contains(line, "device       state       packets/s    gap s  dropouts");
    for (const char* device : {"front", "side"}) {
      if (line.rfind(std::string(device) + " ", 0) == 0 && contains(line, "  ")) {
        std::istringstream words(line);
        std::string name, state;
        double rate = 0;
        if (words >> name >> state >> rate && (state == "streaming" || state == "stopped")) {
          lastRow[device] = line;
        }
      }
    }
  }
  EXPECT_TRUE(header);
  for (const char* device : {"front", "side"}) {
    std::istringstream words(lastRow[device]);
    std::string name, state;
    double rate = 0;
    words >> name >> state >> rate;
    EXPECT_EQ(state, "stopped") << lastRow[device];
    EXPECT_GT(rate, 10.0) << lastRow[device];
  }
}

// The records of a jsonl run, by device and output ID, in order.
std::map<std::pair<std::string, int>, std::vector<std::map<std::string, std::string> > >
trackerRecords(const HostRun& run) {
  std::map<std::pair<std::string, int>, std::vector<std::map<std::string, std::string> > > byId;
  for (const std::string& line : run.lines) {
    auto f = fields(line);
    if (f["type"] != "\"tracker\"") continue;
    byId[{f["device"].substr(1, f["device"].size() - 2), std::stoi(f["id"])}].push_back(f);
  }
  return byId;
}

TEST(SimulatingHost, SimulatedDevicesFollowPathsOfTheirOwnSeeds) {
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

TEST(SimulatingHost, SimulatedNetworkOutageOfOneDeviceLeavesTheOtherPublishing) {
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

TEST(SimulatingHost, SimulationOptionsAreChecked) {
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
       2,
       "mstar-host: --sim-fault names the device \"back\", which the file does not have"},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.arguments[r.arguments.size() - 2]);
    HostRun run = runHost(r.arguments, Errors::kMerge);
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
  EXPECT_EQ(line,
            "time,host_time_us,device,type,id,x,y,z,azimuth,elevation,roll,valuators,buttons,"
            "state,reason,dropouts,recoveries,last_data");
  bool tracker = false;
  while (!tracker && host.readLine(&line, kWaitMs)) tracker = contains(line, ",live,tracker,");
  EXPECT_TRUE(tracker);
  host.interrupt();
  while (host.readLine(&line, kWaitMs)) {
  }
  EXPECT_EQ(host.wait(kWaitMs), 0);
  EXPECT_TRUE(simulator->waitForCommand(sim::kStopData, 1, std::chrono::seconds(5)));
  EXPECT_TRUE(simulator->waitForCommand(sim::kShutDown, 1, std::chrono::seconds(5)));
  EXPECT_FALSE(simulator->streaming());
}

// A device whose system never answers WAKE_UP: Ctrl-C during the wait ends
// the host once the wait is over, without STOP_DATA or SHUT_DOWN for that
// system; a second Ctrl-C ends it at once.
TEST(HostProcess, InterruptWhileASystemDoesNotAnswer) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  for (bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "two interrupts" : "one interrupt");
    std::string address;
    auto simulator = e2e::startSimulator(streaming(true), &address);
    ASSERT_TRUE(simulator);
    simulator->injectCommandFault(sim::kWakeUp, {sim::CommandFault::Kind::kSilence});
    const std::string path = writeFile("silent.conf", deviceBlock("silent", address, true));
    platform::ChildProcess host;
    ASSERT_TRUE(host.start(hostCommand({"--format", "jsonl", path}), false, true));
    ASSERT_TRUE(simulator->waitForCommand(sim::kWakeUp, 1, std::chrono::seconds(20)));
    host.interrupt();
    const int64_t interrupted = platform::monotonicMilliseconds();
    if (twice) {
      for (int i = 0; i < 500 && !contains(host.errorOutput(), "stopping"); ++i) {
        platform::sleepMilliseconds(10);
      }
      host.interrupt();
    }
    std::string line;
    while (host.readLine(&line, kWaitMs)) {
    }
    const int status = host.wait(kWaitMs);
    const int64_t took = platform::monotonicMilliseconds() - interrupted;
    const std::string errors = host.errorOutput();
    EXPECT_TRUE(contains(errors, "mstar-host: stopping the devices")) << errors;
    if (twice) {
      EXPECT_EQ(status, 130);
      EXPECT_TRUE(contains(errors, "the tracking systems were left running")) << errors;
      EXPECT_LT(took, 5000);  // not the rest of the 15 s wait
    } else {
      EXPECT_EQ(status, 1);  // the device never streamed
      EXPECT_LT(took, 15000 + 5000);
      EXPECT_FALSE(simulator->waitForCommand(sim::kStopData, 1, std::chrono::milliseconds(0)));
      EXPECT_FALSE(simulator->waitForCommand(sim::kShutDown, 1, std::chrono::milliseconds(0)));
    }
  }
}

// Two devices, the first one's system power-cycled under the host (as in
// the supervisor's tests, long enough to be seen lost; over UDP until the
// stop's STOP_DATA has nearly waited out its 5 s).
class HostPowerCycle : public ::testing::TestWithParam<bool> {};

TEST_P(HostPowerCycle, LostRecoveredAndCounted) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  const bool udp = GetParam();
  for (bool recover : {true, false}) {
    SCOPED_TRACE(recover ? "recovering" : "--no-recover");
    std::string addressA, addressB;
    auto simA = e2e::startSimulator(streaming(udp), &addressA);
    auto simB = e2e::startSimulator(streaming(false), &addressB);
    ASSERT_TRUE(simA && simB);
    const std::string path = writeFile(
        "cycle.conf", deviceBlock("a", addressA, udp) + deviceBlock("b", addressB, false));
    std::vector<std::string> arguments = {"--format", "jsonl", "--lost-after", "1", "--stale-after",
                                          "0.4",      path};
    if (!recover) arguments.insert(arguments.begin(), "--no-recover");
    platform::ChildProcess host;
    ASSERT_TRUE(host.start(hostCommand(arguments), false, true));
    std::vector<std::string> lines;
    auto readFor = [&](int64_t ms) {
      const int64_t end = platform::monotonicMilliseconds() + ms;
      std::string line;
      while (platform::monotonicMilliseconds() < end && host.readLine(&line, 50)) {
        lines.push_back(line);
      }
    };
    auto recordsOf = [&](const std::string& device) {
      size_t n = 0;
      for (const std::string& line : lines) {
        n += contains(line, "\"device\":\"" + device + "\",\"type\":\"tracker\"");
      }
      return n;
    };
    for (int i = 0; i < 200 && recordsOf("a") < 50; ++i) readFor(50);
    ASSERT_GE(recordsOf("a"), 50u);

    simA->powerCycle(std::chrono::milliseconds(udp ? 4000 : 1500));
    while (!simA->waitUntilReachable(std::chrono::milliseconds(0))) readFor(10);
    const int64_t back = wallMicros();
    readFor(4000);
    host.interrupt();
    readFor(kWaitMs);
    const int status = host.wait(kWaitMs);
    const std::string errors = host.errorOutput();

    std::set<uint32_t> idsBefore, idsAfter;
    int64_t lastBefore = 0, lostAt = 0, firstAfter = 0, previousB = 0, largestGapB = 0;
    std::set<std::string> statesB;
    for (const std::string& line : lines) {
      auto f = fields(line);
      const int64_t at = std::stoll(f["host_time_us"]);
      const std::string device = unquoted(f["device"]);
      if (f["type"] == "\"status\"") {
        if (device == "b") statesB.insert(unquoted(f["state"]));
        if (device == "a" && unquoted(f["state"]) == "lost" && lostAt == 0) lostAt = at;
        continue;
      }
      if (device == "b") {
        if (previousB != 0) largestGapB = std::max(largestGapB, at - previousB);
        previousB = at;
      } else if (lostAt == 0) {
        lastBefore = at;
        idsBefore.insert(static_cast<uint32_t>(std::stoul(f["id"])));
      } else if (at > back) {
        if (firstAfter == 0) firstAfter = at;
        idsAfter.insert(static_cast<uint32_t>(std::stoul(f["id"])));
      }
    }
    EXPECT_EQ(status, 1);  // a dropout, recovered or not
    ASSERT_NE(lostAt, 0) << errors;
    EXPECT_LE(lostAt - lastBefore, 1500000);  // the loss limit and half a second
    EXPECT_TRUE(contains(errors, "mstar-host: WARNING: device \"a\" lost: no data since "))
        << errors;
    EXPECT_EQ(statesB, (std::set<std::string>{"starting", "streaming", "stopped"}));
    EXPECT_LT(largestGapB, 400000);
    EXPECT_TRUE(contains(errors, "b: ")) << "no summary: " << errors;
    if (recover) {
      ASSERT_NE(firstAfter, 0) << errors;
      EXPECT_LE(firstAfter - back, 3000000);
      EXPECT_EQ(idsAfter, idsBefore);
      EXPECT_TRUE(
          contains(errors, "mstar-host: device \"a\" recovered: data again after an outage"))
          << errors;
      EXPECT_TRUE(contains(errors, "1 dropout, 1 recovery")) << errors;
    } else {
      // Nobody wakes the system that came back (the host's stop may still
      // reach it).
      EXPECT_EQ(firstAfter, 0);
      EXPECT_FALSE(contains(errors, "recovery attempt") || contains(errors, "recovered")) << errors;
      EXPECT_FALSE(simA->waitForCommand(sim::kWakeUp, 2, std::chrono::milliseconds(0)));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Transports, HostPowerCycle, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Udp" : "Tcp"; });

// A reader that goes away ends the host: `mstar-host ... | head -1`.
TEST(SimulatingHost, AReaderThatLeavesEndsTheHost) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  std::string command;
  for (const std::string& word : hostCommand(
           {"--simulate", "--format", "jsonl", std::string(EXAMPLES_DIR) + "/two-devices.conf"})) {
    command += "'" + word + "' ";
  }
  platform::ChildProcess shell;
  ASSERT_TRUE(shell.start(
      {"/bin/bash", "-c", command + "| head -1; echo \"host ${PIPESTATUS[0]}\""}, false, true));
  std::vector<std::string> lines;
  for (std::string line; shell.readLine(&line, kWaitMs);) lines.push_back(line);
  EXPECT_EQ(shell.wait(kWaitMs), 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(fields(lines[0]).count("type"), 1u) << lines[0];
  EXPECT_EQ(lines[1], "host 1");
  EXPECT_TRUE(contains(shell.errorOutput(),
                       "mstar-host: standard output can no longer be written (Broken pipe); "
                       "stopping"))
      << shell.errorOutput();
}

// -l quiet: nothing but records on standard output, and for a good run
// nothing at all on standard error.
TEST(SimulatingHost, QuietPrintsOnlyRecords) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  HostRun run = runHost({"--simulate", "-l", "quiet", "--format", "jsonl", "--packets", "30",
                         std::string(EXAMPLES_DIR) + "/two-devices.conf"},
                        Errors::kApart);
  EXPECT_EQ(run.status, 0);
  EXPECT_GT(run.lines.size(), 100u);
  for (const std::string& line : run.lines) {
    ASSERT_TRUE(line.size() > 2 && line.front() == '{' && line.back() == '}') << line;
    EXPECT_EQ(fields(line).count("type"), 1u) << line;
  }
  EXPECT_EQ(run.errors, "");
}

TEST(HostProcess, ExitCodesAndMessages) {
  HostRun help = runHost({"--help"});
  EXPECT_EQ(help.status, 0);
  ASSERT_FALSE(help.lines.empty());
  EXPECT_EQ(help.lines[0], "Usage: mstar-host [OPTION]... CONFIG_FILE");

  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    std::string message;
  } usage[] = {
      {"unknown option", {"--colour"}, "mstar-host: unknown option '--colour'"},
      {"bad limit",
       {"--lost-after", "0", "x.conf"},
       "mstar-host: --lost-after takes seconds, from 0.001 to 3600"},
      {"no file",
       {std::string(SCRATCH_DIR) + "/missing.conf"},
       "mstar-host: " SCRATCH_DIR "/missing.conf: cannot be read"},
  };
  for (const Case& c : usage) {
    SCOPED_TRACE(c.what);
    HostRun run = runHost(c.arguments, Errors::kMerge);
    EXPECT_EQ(run.status, 2);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines[0], c.message);
  }

  const std::string broken = writeFile("broken.conf", "# start\nprotocol tcp\n");
  HostRun configError = runHost({broken}, Errors::kMerge);
  EXPECT_EQ(configError.status, 2);
  ASSERT_FALSE(configError.lines.empty());
  EXPECT_EQ(configError.lines[0],
            "mstar-host: " + broken + ":2: option \"protocol\" before any device line");

  const std::string twice =
      writeFile("twice.conf", "device a " MODULE_PATH "\nprotocol udp\ndevice a " MODULE_PATH "\n");
  HostRun duplicate = runHost({twice}, Errors::kMerge);
  EXPECT_EQ(duplicate.status, 2);
  ASSERT_FALSE(duplicate.lines.empty());
  EXPECT_EQ(duplicate.lines[0],
            "mstar-host: " + twice + ":3: device name \"a\" is already used on line 1");

  // The driver refuses an option during init: a configuration error, with
  // the driver's own line and the host's.
  const std::string faulty = writeFile(
      "faulty.conf", "device bad " MODULE_PATH "\nmotionstaraddress 127.0.0.1\nsync maybe\n");
  HostRun deviceError = runHost({"--format", "jsonl", faulty}, Errors::kApart);
  EXPECT_EQ(deviceError.status, 2);
  EXPECT_TRUE(contains(deviceError.errors, "CMotionStar: Invalid string found for Sync at line 3."))
      << deviceError.errors;
  EXPECT_TRUE(contains(deviceError.errors,
                       "mstar-host: " + faulty +
                           ":1: device \"bad\": configuration error (the driver's messages above "
                           "say where): options it did not take: \"sync\" (line 3)"))
      << deviceError.errors;
  for (const std::string& line : deviceError.lines) {
    EXPECT_TRUE(contains(line, "\"type\":\"status\"")) << "not a status record: " << line;
  }

  // Nobody at the address: a device failure, not a configuration error.
  const std::string nobody =
      writeFile("nobody.conf", deviceBlock("gone", e2e::uniqueLoopbackAddress(), false));
  HostRun unreachable = runHost({"--format", "jsonl", nobody}, Errors::kApart);
  EXPECT_EQ(unreachable.status, 1);
  EXPECT_TRUE(contains(unreachable.errors, "mstar-host: device \"gone\": init failed"))
      << unreachable.errors;
}

// Each device's tracker and wand records in the order the host wrote them,
// without their times.
std::map<std::string, std::vector<std::string> > recordsByDevice(
    const std::vector<std::string>& lines) {
  static const std::regex times("\"time\":[0-9.]+,\"host_time_us\":[0-9]+,");
  std::map<std::string, std::vector<std::string> > records;
  for (const std::string& line : lines) {
    std::map<std::string, std::string> f = fields(line);
    if (f["type"] != "\"tracker\"" && f["type"] != "\"controller\"") continue;
    records[f["device"]].push_back(std::regex_replace(line, times, ""));
  }
  return records;
}

TEST(SimulatingHost, ASessionRecordedWithRecordDirReplaysToTheSameRecords) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  if (!sim::captureFilesSupported()) GTEST_SKIP() << "this build has no libpcap: no capture files";
  const std::string dir = std::string(SCRATCH_DIR) + "/recorded";
  std::filesystem::remove_all(dir);
  const std::string config = std::string(EXAMPLES_DIR) + "/two-devices.conf";
  const HostRun live =
      runHost({"--simulate", "--record-dir", dir, "--format", "jsonl", "--packets", "40", config});
  ASSERT_EQ(live.status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir + "/front.pcap"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/side.pcap"));

  // The replay ends by itself once the captures are played out.
  const HostRun replayed = runHost({"--replay", dir, "--speed", "4", "--format", "jsonl", config});
  EXPECT_EQ(replayed.status, 0);
  const auto liveRecords = recordsByDevice(live.lines);
  const auto replayedRecords = recordsByDevice(replayed.lines);
  ASSERT_EQ(liveRecords.size(), 2u);
  ASSERT_EQ(replayedRecords.size(), 2u);
  for (const auto& [device, records] : liveRecords) {
    SCOPED_TRACE(device);
    // The capture also holds what the simulator sent after the host had
    // read its 40 packets: the live records come first, in order.
    const std::vector<std::string>& again = replayedRecords.at(device);
    ASSERT_GE(again.size(), records.size());
    EXPECT_TRUE(std::equal(records.begin(), records.end(), again.begin()));
  }
}

TEST(HostProcess, CaptureOptionsThatCannotWorkAreRefused) {
  const std::string config = std::string(EXAMPLES_DIR) + "/two-trackers-tcp.conf";
  const HostRun recordReal = runHost({"--record-dir", SCRATCH_DIR, config}, Errors::kMerge);
  EXPECT_EQ(recordReal.status, 2);
  ASSERT_FALSE(recordReal.lines.empty());
  if (!sim::captureFilesSupported()) {
    EXPECT_EQ(recordReal.lines[0],
              "mstar-host: --replay, --speed and --record-dir need libpcap, which this "
              "mstar-host was built without");
    return;
  }
  EXPECT_EQ(recordReal.lines[0],
            "mstar-host: --record-dir records simulated devices: give --simulate or --replay (a "
            "real system is recorded with tcpdump, see the README)");

  const std::string missing = std::string(SCRATCH_DIR) + "/missing.pcap";
  const HostRun replayMissing = runHost({"--replay", missing, config}, Errors::kMerge);
  EXPECT_EQ(replayMissing.status, 1);
  ASSERT_FALSE(replayMissing.lines.empty());
  EXPECT_EQ(replayMissing.lines.back().find("mstar-host: device \"motionstar\": " + missing +
                                            ": cannot be read as a packet capture ("),
            0u)
      << replayMissing.lines.back();
}

}  // namespace

#endif  // _WIN32
