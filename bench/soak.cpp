// Soak run: two simulated MotionStar systems of 32 trackers and a wand each,
// one over TCP and one over UDP, streaming 1000 packets per second into the
// module for a bounded time while about 1% of the packets carry a fault.
// Each device runs on its own thread as a host runs it. At the end the run
// reports what it handled and the resident memory at start and end, and
// fails when memory grew, a device could not be stopped, or a published
// pose left the range a unit record can encode.
//
//   soak_run [--seconds N] [--rate PACKETS_PER_SECOND] [--fault-every N]
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/config_file.h"
#include "host/host_entry.h"
#include "host/module_loader.h"
#include "host/storages.h"
#include "platform/process.h"
#include "sim/simulator.h"

namespace {

constexpr int kTrackers = 32;
// Memory may move by a few pages (stream buffers, allocator arenas); a leak
// of one allocation per packet would pass this within seconds.
constexpr int64_t kFlatSlackBytes = 2 << 20;

struct Options {
  int seconds = 60;
  double rate = 1000;
  int faultEvery = 100;  // one packet in this many carries a fault
};

bool parseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (arg == "--seconds") {
      options->seconds = std::atoi(value);
    } else if (arg == "--rate") {
      options->rate = std::atof(value);
    } else if (arg == "--fault-every") {
      options->faultEvery = std::atoi(value);
    } else {
      return false;
    }
  }
  return options->seconds > 0 && options->rate > 0 && options->faultEvery > 0;
}

uint32_t be32(const void* field) {
  const auto* p = static_cast<const uint8_t*>(field);
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int popcount(uint32_t bits) {
  int n = 0;
  for (; bits != 0; bits &= bits - 1) ++n;
  return n;
}

// One device with its own host storages (32 trackers fill a storage), its
// simulator, and the counts its thread keeps.
struct Soaked {
  std::string name;
  sim::Transport transport;
  CLogH log{};  // switched off: the run reports, not the driver
  std::unique_ptr<HostStorages> storages;
  std::unique_ptr<sim::Simulator> simulator;
  std::unique_ptr<HostEntry> entry;
  CBase* device = nullptr;

  std::atomic<uint64_t> calls{0}, ok{0}, failed{0}, poses{0}, wandStates{0}, outOfRange{0};
  uint64_t faultsInjected[8] = {};
};

const char* const kFaultNames[8] = {"short",       "oversized",     "bad unit address",
                                    "garbage aux", "no aux",        "dropped",
                                    "reset",       "repeated poses"};

bool setUp(Soaked& s, const std::string& address, DriverModule& module, double rate) {
  sim::Config config;
  config.address = address;
  config.units = kTrackers + 1;
  config.rate = rate;
  config.wanda = true;
  config.loopWandScript = true;
  config.wandScript = {sim::Simulator::wandPacket(5, -7, true, false, 1),
                       {},
                       sim::Simulator::wandPacket(-20, 3, false, true, 0),
                       {}};
  config.enableTcp = s.transport == sim::Transport::kTcp;
  config.enableUdp = !config.enableTcp;
  s.simulator = std::make_unique<sim::Simulator>(config);
  std::string error;
  if (!s.simulator->start(&error)) {
    std::fprintf(stderr, "%s: simulator on %s: %s\n", s.name.c_str(), address.c_str(),
                 error.c_str());
    return false;
  }
  const bool udp = s.transport == sim::Transport::kUdp;
  const std::string text = "device " + s.name + " motionstar " + std::to_string(kTrackers) +
                           "\nmotionstaraddress " + address + "\nprotocol " +
                           (udp ? "udp\nport 0\n" : "tcp\n") + "wanda 1\n";
  ConfigFile file;
  if (!parseConfigText(text, "soak", &file, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  s.storages = std::make_unique<HostStorages>(s.log);
  s.entry = std::make_unique<HostEntry>(file.devices.front());
  s.device = module.create(s.entry->entry(), &s.log);
  InitInfo info = s.storages->initInfo();
  if (s.device == nullptr || s.device->init(&info) != 1 || s.device->configure() != 1 ||
      !s.device->start()) {
    std::fprintf(stderr, "%s: the device did not come up\n", s.name.c_str());
    return false;
  }
  return true;
}

// The host's loop for one device.
void run(Soaked& s, const std::atomic<bool>& stop) {
  while (!stop.load()) {
    UpdatedMasks masks{};
    const int32_t result = s.device->recvData(&masks, nullptr);
    ++s.calls;
    if (result == 1) {
      ++s.ok;
    } else {
      ++s.failed;
    }
    const uint32_t trackerMask = be32(masks.tracker);
    s.poses += static_cast<uint64_t>(popcount(trackerMask));
    s.wandStates += static_cast<uint64_t>(popcount(be32(masks.controller)));
    // Every published value stays in what a unit record can encode: 12 feet
    // and 180 degrees (times 100000), whatever the fault did.
    for (uint32_t id = 1; id <= kTrackers; ++id) {
      if ((trackerMask & (1u << (id - 1))) == 0) continue;
      const TraData record = s.storages->tracker(id);
      for (int i = 0; i < 6; ++i) {
        const double limit = (i < 3 ? 12.0 : 180.0) * 100000.0 + 1;
        if (std::fabs(static_cast<int32_t>(be32(&record.pose[i]))) > limit) ++s.outOfRange;
      }
    }
  }
}

// About one packet in faultEvery carries a fault, of a kind the stream goes
// on after (a TCP stream is not cut, and neither transport is reset).
void injectFault(Soaked& s, std::mt19937& random) {
  const bool udp = s.transport == sim::Transport::kUdp;
  using Kind = sim::DataFault::Kind;
  const Kind kinds[] = {Kind::kShort, Kind::kOversized, Kind::kBadUnitAddress, Kind::kGarbageAux,
                        Kind::kNoAux, Kind::kDrop,      Kind::kRepeatPoses};
  Kind kind;
  do {
    kind = kinds[random() % (sizeof kinds / sizeof kinds[0])];
  } while (kind == Kind::kShort && !udp);
  sim::DataFault fault{kind};
  fault.length = kind == Kind::kShort ? 16 + random() % 400 : 1 + random() % 300;
  fault.record = static_cast<int>(random() % kTrackers);
  fault.unitAddress = static_cast<uint8_t>(random() % 2 == 0 ? 0 : 34 + random() % 90);
  s.simulator->injectDataFault(fault);
  ++s.faultsInjected[static_cast<int>(kind)];
}

// The driver's reports continue on std::cout even with its logger off;
// the run's own lines go through stdio.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

double mib(uint64_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: soak_run [--seconds N] [--rate PACKETS_PER_SECOND] "
                 "[--fault-every N]\n");
    return 2;
  }
  // Loopback addresses of this process's own, so the fixed ports are free.
  const uint32_t pid = platform::processId();
  const std::string base =
      "127." + std::to_string(200 + pid % 50) + "." + std::to_string((pid >> 6) % 250 + 1) + ".";

  static NullBuffer sink;  // outlives every return below
  std::streambuf* coutBuffer = std::cout.rdbuf(&sink);
  DriverModule module;
  std::string error;
  if (!module.load(MODULE_PATH, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  Soaked devices[2];
  devices[0].name = "tcp";
  devices[0].transport = sim::Transport::kTcp;
  devices[1].name = "udp";
  devices[1].transport = sim::Transport::kUdp;
  for (int i = 0; i < 2; ++i) {
    if (!setUp(devices[i], base + std::to_string(10 + i), module, options.rate)) return 1;
  }

  std::atomic<bool> stop{false};
  std::thread threads[2] = {std::thread(run, std::ref(devices[0]), std::cref(stop)),
                            std::thread(run, std::ref(devices[1]), std::cref(stop))};

  // Warm up before the first memory figure: buffers and arenas settle.
  platform::sleepMilliseconds(3000);
  const uint64_t memoryStart = platform::residentMemoryBytes();
  std::printf("soak: %d s at %.0f packets/s per device, a fault every %d packets\n",
              options.seconds, options.rate, options.faultEvery);
  std::printf("soak: resident memory at start %.2f MiB\n", mib(memoryStart));
  std::fflush(stdout);

  std::mt19937 random(12345);
  const int64_t tick = static_cast<int64_t>(1000.0 * options.faultEvery / options.rate);
  const int64_t started = platform::monotonicMilliseconds();
  int64_t nextReport = started + 10000;
  while (platform::monotonicMilliseconds() - started < int64_t{options.seconds} * 1000) {
    for (Soaked& s : devices) injectFault(s, random);
    platform::sleepMilliseconds(static_cast<int32_t>(tick > 0 ? tick : 1));
    if (platform::monotonicMilliseconds() >= nextReport) {
      nextReport += 10000;
      std::printf("soak: %3llds  memory %.2f MiB  poses %llu + %llu\n",
                  static_cast<long long>((platform::monotonicMilliseconds() - started) / 1000),
                  mib(platform::residentMemoryBytes()),
                  static_cast<unsigned long long>(devices[0].poses.load()),
                  static_cast<unsigned long long>(devices[1].poses.load()));
      std::fflush(stdout);
    }
  }
  const uint64_t memoryEnd = platform::residentMemoryBytes();
  const double elapsed = (platform::monotonicMilliseconds() - started) / 1000.0;
  stop = true;
  for (std::thread& t : threads) t.join();

  bool good = true;
  for (Soaked& s : devices) {
    const bool stopped = s.device->stop();
    good = good && stopped && s.outOfRange == 0 && s.poses > 0;
    uint64_t injected = 0;
    for (uint64_t n : s.faultsInjected) injected += n;
    std::printf(
        "soak: %s: %llu packets sent, %llu recvData calls (%llu returned 1, %llu returned -1), "
        "%llu poses and %llu wand states published, %.0f poses/s, %llu faults injected, "
        "%llu values out of range, stop %s\n",
        s.name.c_str(), static_cast<unsigned long long>(s.simulator->packetsSent()),
        static_cast<unsigned long long>(s.calls.load()),
        static_cast<unsigned long long>(s.ok.load()),
        static_cast<unsigned long long>(s.failed.load()),
        static_cast<unsigned long long>(s.poses.load()),
        static_cast<unsigned long long>(s.wandStates.load()), s.poses.load() / elapsed,
        static_cast<unsigned long long>(injected),
        static_cast<unsigned long long>(s.outOfRange.load()), stopped ? "ok" : "FAILED");
    std::printf("soak: %s: faults:", s.name.c_str());
    for (int k = 0; k < 8; ++k) {
      if (s.faultsInjected[k] != 0) {
        std::printf(" %s %llu", kFaultNames[k],
                    static_cast<unsigned long long>(s.faultsInjected[k]));
      }
    }
    std::printf("\n");
    module.destroy(s.device);
    s.device = nullptr;
    s.simulator->stop();
  }
  std::cout.rdbuf(coutBuffer);
  const int64_t growth = static_cast<int64_t>(memoryEnd) - static_cast<int64_t>(memoryStart);
  std::printf("soak: resident memory at start %.2f MiB, at end %.2f MiB (%+lld bytes)\n",
              mib(memoryStart), mib(memoryEnd), static_cast<long long>(growth));
  if (growth > kFlatSlackBytes) {
    std::printf("soak: FAILED: memory grew\n");
    good = false;
  }
  std::printf("soak: %s\n", good ? "passed" : "FAILED");
  return good ? 0 : 1;
}
