// How soon a power-cycled device publishes again, and what its recovery
// costs the device beside it. Two simulated systems at 100 packets per
// second feed two supervised devices in this process, as mstar-host runs
// them (loss limit 2 s); the first system is power-cycled once per
// repetition (10 repetitions: the median is the figure).
//
//  - recovery_tcp/MS, recovery_udp/MS: the system silent for MS
//    milliseconds (1000: back before the loss is seen; 3000 and 5000:
//    after), then in its power-on state; time from its return to the first
//    record of the recovered device (manual time). Counters: the other
//    device's packets per second in the second before the power cycle
//    (other_before) and from the loss to the recovery (other_during).
//  - first_bring_up: the baseline, from starting a device to its first
//    record on a system that is already up.
//
// Run it in a network namespace of its own (the simulators take the fixed
// ports): ms-netns build-bench/bin/recovery_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/config_file.h"
#include "host/supervisor.h"
#include "platform/process.h"
#include "sim/simulator.h"

namespace {

constexpr double kRate = 100;
constexpr int kTrackers = 2;
constexpr int64_t kLostAfterMs = 2000;  // the host's default

int64_t nowMs() {
  return platform::monotonicMilliseconds();
}

// The arrival time of every record, by device ("a" or "b"), and when a
// first went lost.
class Arrivals : public RecordSink {
 public:
  void publish(const Publication& p) override {
    std::lock_guard<std::mutex> lock(mutex_);
    (p.device == "a" ? a_ : b_).push_back(nowMs());
  }
  void status(const StatusRecord& s) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (s.device == "a" && s.state == "lost" && lostAt_ == 0) lostAt_ = nowMs();
  }
  // The first record of a at or after t; 0 when none yet.
  int64_t firstOfAAfter(int64_t t) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::lower_bound(a_.begin(), a_.end(), t);
    return it == a_.end() ? 0 : *it;
  }
  // b's packets per second between from and to.
  double rateOfB(int64_t from, int64_t to) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto n =
        std::count_if(b_.begin(), b_.end(), [&](int64_t t) { return t >= from && t < to; });
    return to > from ? n * 1000.0 / kTrackers / (to - from) : 0;
  }
  int64_t lostAt() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lostAt_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int64_t> a_, b_;
  int64_t lostAt_ = 0;
};

sim::Config systemAt(const std::string& address, bool udp) {
  sim::Config config;
  config.address = address;
  config.units = kTrackers + 1;
  config.rate = kRate;
  config.enableTcp = !udp;
  config.enableUdp = udp;
  return config;
}

std::string block(const std::string& name, const std::string& address, bool udp) {
  return "device " + name + " " MODULE_PATH " " + std::to_string(kTrackers) +
         "\nmotionstaraddress " + address + "\nprotocol " + (udp ? "udp\nport 0\n" : "tcp\n");
}

// The supervised devices of a configuration text, watched every 20 ms.
class Devices {
 public:
  explicit Devices(const std::string& text) {
    std::string error;
    parseConfigText(text, "bench.conf", &config_, &error);
    module_.load(MODULE_PATH, &error);
    SupervisionLimits limits;
    limits.lostAfterMs = kLostAfterMs;
    supervision_ = std::make_unique<Supervision>(storages_, output_, messages_, limits, 0, "");
    output_.addSink(&arrivals);
    for (const DeviceBlock& b : config_.devices) supervision_->add(b, module_, CLogH{});
    supervision_->start();
    watcher_ = std::thread([this] {
      while (!supervision_->waitForStop(20)) supervision_->check(nowMs());
    });
  }
  ~Devices() {
    supervision_->stop();
    watcher_.join();
    supervision_.reset();
  }
  Arrivals arrivals;

 private:
  ConfigFile config_;
  HostStorages storages_{CLogH{}};
  Output output_{Format::kTable, stdout, "bench"};  // never drawn
  Messages messages_{true};
  DriverModule module_;
  std::unique_ptr<Supervision> supervision_;
  std::thread watcher_;
};

bool waitFor(const std::function<bool()>& done, int64_t limitMs) {
  for (const int64_t end = nowMs() + limitMs; !done(); platform::sleepMilliseconds(2)) {
    if (nowMs() > end) return false;
  }
  return true;
}

void recovery(benchmark::State& state, bool udp) {
  const std::string addressA = "127.0.0.31", addressB = "127.0.0.32";
  for (auto _ : state) {
    sim::Simulator simA(systemAt(addressA, udp));
    sim::Simulator simB(systemAt(addressB, false));
    std::string error;
    if (!simA.start(&error) || !simB.start(&error)) {
      state.SkipWithError(("simulator: " + error).c_str());
      return;
    }
    Devices devices(block("a", addressA, udp) + block("b", addressB, false));
    if (!waitFor([&] { return devices.arrivals.firstOfAAfter(0) != 0; }, 20000)) {
      state.SkipWithError("a never streamed");
      return;
    }
    platform::sleepMilliseconds(1000);
    const int64_t cycled = nowMs();
    simA.powerCycle(std::chrono::milliseconds(state.range(0)));
    simA.waitUntilReachable(std::chrono::seconds(60));
    const int64_t back = nowMs();
    if (!waitFor([&] { return devices.arrivals.firstOfAAfter(back) != 0; }, 30000)) {
      state.SkipWithError("a never came back");
      return;
    }
    const int64_t again = devices.arrivals.firstOfAAfter(back);
    state.SetIterationTime((again - back) / 1000.0);
    state.counters["other_before"] = devices.arrivals.rateOfB(cycled - 1000, cycled);
    state.counters["other_during"] = devices.arrivals.rateOfB(devices.arrivals.lostAt(), again);
  }
}

void recoveryTcp(benchmark::State& state) {
  recovery(state, false);
}

void recoveryUdp(benchmark::State& state) {
  recovery(state, true);
}

void firstBringUp(benchmark::State& state) {
  const std::string address = "127.0.0.33";
  for (auto _ : state) {
    sim::Simulator simA(systemAt(address, false));
    std::string error;
    if (!simA.start(&error)) {
      state.SkipWithError(("simulator: " + error).c_str());
      return;
    }
    const int64_t started = nowMs();
    Devices devices(block("a", address, false));
    if (!waitFor([&] { return devices.arrivals.firstOfAAfter(0) != 0; }, 20000)) {
      state.SkipWithError("a never streamed");
      return;
    }
    state.SetIterationTime((devices.arrivals.firstOfAAfter(0) - started) / 1000.0);
  }
}

BENCHMARK(firstBringUp)
    ->Name("first_bring_up")
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(recoveryTcp)
    ->Name("recovery_tcp")
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(5000)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(recoveryUdp)
    ->Name("recovery_udp")
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(5000)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
