// Devices supervised as mstar-host supervises them, in this process: the
// real module against simulators on loopback, one of them killed and
// started again on the same address and ports.
#include "host/supervisor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>

#include "e2e/harness.h"
#include "host/simulated_systems.h"
#include "platform/process.h"

namespace {

int64_t nowMs() {
  return platform::monotonicMilliseconds();
}

// Every record and status record, with the time it arrived.
class Recorder : public RecordSink {
 public:
  struct Seen {
    int64_t atMs;
    Publication record;
  };
  struct Change {
    int64_t atMs;
    StatusRecord status;
  };

  void publish(const Publication& p) override {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back({nowMs(), p});
  }
  void status(const StatusRecord& s) override {
    std::lock_guard<std::mutex> lock(mutex_);
    changes_.push_back({nowMs(), s});
  }
  std::vector<Seen> records(const std::string& device) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Seen> out;
    for (const Seen& seen : records_) {
      if (seen.record.device == device) out.push_back(seen);
    }
    return out;
  }
  std::vector<Change> changes(const std::string& device) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Change> out;
    for (const Change& change : changes_) {
      if (change.status.device == device) out.push_back(change);
    }
    return out;
  }
  std::string state(const std::string& device) const {
    const std::vector<Change> all = changes(device);
    return all.empty() ? "" : all.back().status.state;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Seen> records_;
  std::vector<Change> changes_;
};

// Waits up to limitMs for done(); true when it came.
template <class Done>
bool waitUntil(Done done, int64_t limitMs) {
  const int64_t end = nowMs() + limitMs;
  while (!done()) {
    if (nowMs() > end) return false;
    platform::sleepMilliseconds(10);
  }
  return true;
}

// The devices of a configuration supervised and watched as the host's
// main loop watches them.
struct Supervised {
  Supervised(const std::string& text, const SupervisionLimits& limits)
      : devices(storages, output, messages, limits, 0, "test.conf") {
    std::string error;
    EXPECT_TRUE(parseConfigText(text, "test.conf", &config, &error)) << error;
    output.addSink(&recorder);
    for (const DeviceBlock& block : config.devices) {
      devices.add(block, e2e::module(), CLogH{});  // silent: the tests read records
    }
    devices.start();
    watcher = std::thread([this] {
      while (!devices.waitForStop(20)) devices.check(nowMs());
    });
  }
  ~Supervised() {
    devices.stop();
    watcher.join();
  }

  HostStorages storages{CLogH{}};
  Recorder recorder;
  ConfigFile config;
  Output output{Format::kTable, stdout, "test"};  // never drawn
  Messages messages{true};
  Supervision devices;
  std::thread watcher;
};

std::set<uint32_t> idsOf(const std::vector<Recorder::Seen>& records) {
  std::set<uint32_t> ids;
  for (const auto& seen : records) ids.insert(seen.record.id);
  return ids;
}

class PowerCycle : public ::testing::TestWithParam<bool> {};

// Device a's system is power-cycled; device b, over TCP, streams on. a is
// seen lost within the loss limit and half a second, publishes again within
// 3 s of its system's return under the same output IDs, and no storage
// count moves while it is brought up again. The cycle outlasts the loss
// limit; over UDP it ends while the stop's STOP_DATA, sent to a system that
// is off, waits out its 5 s (a system just back answers nothing but
// WAKE_UP), so the next WAKE_UP finds it back.
TEST_P(PowerCycle, TheLostDeviceComesBackAndTheOtherStreamsOn) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  const bool udp = GetParam();
  std::string addressA, addressB;
  auto simA = e2e::startSimulator(streaming(udp), &addressA);
  auto simB = e2e::startSimulator(streaming(false), &addressB);
  ASSERT_TRUE(simA && simB);

  SupervisionLimits limits;
  limits.lostAfterMs = 1000;
  limits.staleAfterMs = 400;  // b's own limit
  Supervised host(deviceBlock("a", addressA, udp) + deviceBlock("b", addressB, false), limits);
  ASSERT_TRUE(waitUntil([&] { return host.recorder.records("a").size() >= 50; }, 20000));
  const std::set<uint32_t> idsBefore = idsOf(host.recorder.records("a"));
  const uint32_t trackers = host.storages.trackerCount();
  const uint32_t controllers = host.storages.controllerCount();

  // Every change of the shared counts, however short, while a is away.
  std::atomic<bool> watching{true};
  std::atomic<int> countChanges{0};
  std::thread counts([&] {
    while (watching) {
      if (host.storages.trackerCount() != trackers ||
          host.storages.controllerCount() != controllers) {
        ++countChanges;
      }
      std::this_thread::yield();
    }
  });

  simA->powerCycle(std::chrono::milliseconds(udp ? 4000 : 1500));
  ASSERT_TRUE(simA->waitUntilReachable(std::chrono::seconds(10)));
  const int64_t back = nowMs();
  const bool again = waitUntil(
      [&] {
        const auto records = host.recorder.records("a");
        return !records.empty() && records.back().atMs > back;
      },
      10000);
  platform::sleepMilliseconds(300);
  watching = false;
  counts.join();
  ASSERT_TRUE(again) << "a never published again";

  const auto records = host.recorder.records("a");
  const auto changes = host.recorder.changes("a");
  auto lost = std::find_if(changes.begin(), changes.end(),
                           [](const auto& c) { return c.status.state == "lost"; });
  ASSERT_NE(lost, changes.end());
  int64_t lastBefore = 0, firstAfter = 0;
  std::set<uint32_t> idsAfter;
  for (const auto& seen : records) {
    if (seen.atMs < lost->atMs) lastBefore = seen.atMs;
    if (seen.atMs > back) {
      if (firstAfter == 0) firstAfter = seen.atMs;
      idsAfter.insert(seen.record.id);
    }
  }
  EXPECT_LE(lost->atMs - lastBefore, limits.lostAfterMs + 500);
  EXPECT_LE(firstAfter - back, 3000);
  EXPECT_EQ(idsAfter, idsBefore);
  EXPECT_EQ(lost->status.dropouts, 1u);
  EXPECT_EQ(changes.back().status.state, "streaming");
  EXPECT_EQ(changes.back().status.recoveries, 1u);
  EXPECT_EQ(countChanges, 0);
  EXPECT_EQ(host.storages.trackerCount(), trackers);

  // b was never stale: no gap over its limit.
  for (const auto& change : host.recorder.changes("b")) {
    EXPECT_TRUE(change.status.state == "starting" || change.status.state == "streaming")
        << change.status.state << ": " << change.status.reason;
  }
  const auto recordsB = host.recorder.records("b");
  ASSERT_FALSE(recordsB.empty());
  int64_t largestGap = 0;
  for (size_t i = 1; i < recordsB.size(); ++i) {
    largestGap = std::max(largestGap, recordsB[i].atMs - recordsB[i - 1].atMs);
  }
  EXPECT_LT(largestGap, limits.staleAfterMs);
  EXPECT_EQ(host.devices.device(1).outcome(), Outcome::kClean);
  EXPECT_EQ(host.devices.device(0).outcome(), Outcome::kFailed);  // a dropout, even recovered
}

INSTANTIATE_TEST_SUITE_P(Transports, PowerCycle, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Udp" : "Tcp"; });

// Without recovery a lost device is left as it is: nobody wakes the
// system that came back, and the other device streams on.
TEST(Supervision, NoRecoverLeavesTheLostDeviceAlone) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  std::string addressA, addressB;
  auto simA = e2e::startSimulator(streaming(false), &addressA);
  auto simB = e2e::startSimulator(streaming(false), &addressB);
  ASSERT_TRUE(simA && simB);
  SupervisionLimits limits;
  limits.lostAfterMs = 500;
  limits.recover = false;
  Supervised host(deviceBlock("a", addressA, false) + deviceBlock("b", addressB, false), limits);
  ASSERT_TRUE(waitUntil([&] { return host.recorder.records("a").size() >= 10; }, 20000));
  simA->powerCycle(std::chrono::milliseconds(100));
  ASSERT_TRUE(waitUntil([&] { return host.recorder.state("a") == "lost"; }, 5000));
  const size_t wakeUps = simA->received().size();
  const size_t recordsB = host.recorder.records("b").size();
  platform::sleepMilliseconds(1500);
  EXPECT_EQ(host.recorder.state("a"), "lost");
  EXPECT_EQ(simA->received().size(), wakeUps) << "the host spoke to the system that came back";
  EXPECT_GT(host.recorder.records("b").size(), recordsB + 50);
  EXPECT_EQ(host.devices.device(0).row(nowMs()).recoveries, 0u);
}

// A system that goes silent as the host stops leaves the stop's STOP_DATA
// waiting its time limit (over UDP, 5 s) while the host's main loop goes on
// watching: the device is not lost then, nor brought up again, and no
// dropout is counted.
TEST(Supervision, ASilentSystemIsNotLostWhileItIsStopped) {
  if (!e2e::fixedPortsTaken().empty()) GTEST_SKIP() << e2e::fixedPortsTaken();
  std::string address;
  auto sim = e2e::startSimulator(streaming(true), &address);
  ASSERT_TRUE(sim);
  SupervisionLimits limits;
  limits.lostAfterMs = 300;
  Supervised host(deviceBlock("a", address, true), limits);
  ASSERT_TRUE(waitUntil([&] { return host.recorder.records("a").size() >= 10; }, 20000));
  sim->powerCycle(std::chrono::milliseconds(8000));
  host.devices.stop();
  // As mstar-host's main loop: checking until every device has ended.
  while (!host.devices.allEnded()) {
    host.devices.check(nowMs());
    platform::sleepMilliseconds(20);
  }
  for (const auto& change : host.recorder.changes("a")) {
    EXPECT_TRUE(change.status.state != "lost" && change.status.state != "recovering")
        << change.status.state << ": " << change.status.reason;
  }
  EXPECT_EQ(host.recorder.state("a"), "stopped");
  EXPECT_EQ(host.devices.device(0).row(nowMs()).dropouts, 0u);
}

// A failed first bring-up is a configuration error when the driver refused
// an option or took no storage slot, and a device failure otherwise.
TEST(Supervision, ConfigurationErrorsAreToldFromConnectionFailures) {
  struct Case {
    const char* what;
    std::string text;
    Outcome outcome;
  } cases[] = {
      {"faulty option", "device x " MODULE_PATH "\nmotionstaraddress 127.0.0.1\nsync maybe\n",
       Outcome::kConfigurationError},
      {"unknown option", "device x " MODULE_PATH "\nmotionstaraddress 127.0.0.1\nhemisfere x\n",
       Outcome::kConfigurationError},
      {"tracker count", "device x " MODULE_PATH " 33\nmotionstaraddress 127.0.0.1\n",
       Outcome::kConfigurationError},
      {"fatal wanda port", "device x " MODULE_PATH "\nwanda 3\nprotocol udp\n",
       Outcome::kConfigurationError},
      {"nobody listening",
       "device x " MODULE_PATH "\nmotionstaraddress " + e2e::uniqueLoopbackAddress() +
           "\nprotocol tcp\n",
       Outcome::kFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Supervised host(c.text, SupervisionLimits{});
    ASSERT_TRUE(waitUntil([&] { return host.devices.allEnded(); }, 20000));
    EXPECT_TRUE(host.devices.device(0).failedToStart());
    EXPECT_EQ(host.devices.device(0).outcome(), c.outcome);
  }

  // The second device finds the storage full: 20 + 20 trackers (the
  // first took its slots before its connection was refused).
  const std::string nobody = "\nmotionstaraddress " + e2e::uniqueLoopbackAddress() + "\n";
  Supervised host("device x " MODULE_PATH " 20" + nobody + "device y " MODULE_PATH " 20" + nobody,
                  SupervisionLimits{});
  ASSERT_TRUE(waitUntil([&] { return host.devices.device(1).ended(); }, 20000));
  EXPECT_EQ(host.devices.device(1).outcome(), Outcome::kConfigurationError);
}

}  // namespace
