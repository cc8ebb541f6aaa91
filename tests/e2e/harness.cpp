#include "e2e/harness.h"

#include <gtest/gtest.h>

#include <atomic>

#include "host/config_file.h"
#include "platform/process.h"
#include "support/loopback_probe.h"

namespace e2e {

std::string uniqueLoopbackAddress() {
  // The low 16 bits of the process id pick 127.x.y, a counter the last byte:
  // 254 addresses in turn for each test process.
  static std::atomic<unsigned> counter{0};
  const unsigned pid = platform::processId() & 0xFFFF;
  const unsigned serial = counter++ % 254 + 1;
  return "127." + std::to_string(pid >> 8) + "." + std::to_string(pid & 0xFF) + "." +
         std::to_string(serial);
}

DriverModule& module() {
  static DriverModule* loaded = [] {
    auto* m = new DriverModule;
    std::string error;
    if (!m->load(MODULE_PATH, &error)) ADD_FAILURE() << error;
    return m;
  }();
  return *loaded;
}

Device::Device(const std::string& config, HostStorages& storages, CLogH* log)
    : storages_(storages) {
  ConfigFile file;
  std::string error;
  if (!parseConfigText(config, "test.conf", &file, &error)) ADD_FAILURE() << error;
  if (file.devices.empty()) return;
  entry_ = std::make_unique<HostEntry>(file.devices.front());
  device_ = module().create(entry_->entry(), log);
}

Device::~Device() {
  if (device_ != nullptr) module().destroy(device_);
}

int32_t Device::init() {
  InitInfo info = storages_.initInfo();
  return device_->init(&info);
}

int32_t Device::receive(UpdatedMasks* masks) {
  *masks = UpdatedMasks{};
  return device_->recvData(masks, nullptr);
}

namespace {

// Where a UDP bind to 127.x.y.z widens to every address (Wine), such a
// simulator answers from 127.0.0.1 and the driver rightly drops its data as
// not its device's: UDP simulators take 127.0.0.1 itself there, one at a time.
bool udpOnOwnAddress(const sim::Config& config) {
  return !config.enableUdp || loopback_probe::udpAddressesStayApart();
}

// A simulator on the fixed ports of a loopback address of its own.
sim::Config onFixedPorts(sim::Config config) {
  config.address = udpOnOwnAddress(config) ? uniqueLoopbackAddress() : "127.0.0.1";
  config.tcpPort = 6000;
  config.udpPort = 5000;
  return config;
}

}  // namespace

const std::string& fixedPortsTaken() {
  static const std::string taken = [] {
    sim::Simulator probe(onFixedPorts(sim::Config{}));
    std::string error;
    if (probe.start(&error)) return std::string();
    return "another process holds a port the simulators need (" + error +
           "); run the tests in a network namespace of their own (unshare -n, loopback up)";
  }();
  return taken;
}

std::unique_ptr<sim::Simulator> startSimulator(sim::Config config, std::string* address) {
  // Test processes whose ids share their low 16 bits share addresses too;
  // one that finds its address taken moves on to its next.
  std::string error;
  for (int attempt = 0; attempt < 8; ++attempt) {
    config = onFixedPorts(std::move(config));
    auto simulator = std::make_unique<sim::Simulator>(config);
    if (simulator->start(&error)) {
      *address = config.address;
      return simulator;
    }
    if (!udpOnOwnAddress(config)) break;
  }
  ADD_FAILURE() << "simulator on " << config.address << ": " << error;
  return nullptr;
}

std::array<double, 6> expectedPose(const std::array<int16_t, 6>& words, double scale,
                                   bool caveCoordinates) {
  auto normalised = [](int16_t word) {
    float value = static_cast<float>(word) * 3.0518509e-05f;
    return value < -1.0f ? -1.0f : (value > 1.0f ? 1.0f : value);
  };
  std::array<double, 6> pose{};
  for (int i = 0; i < 3; ++i) pose[i] = normalised(words[i]) * scale;
  for (int i = 3; i < 6; ++i) pose[i] = normalised(words[i]) * 180.0;
  if (caveCoordinates) {
    pose[3] = -pose[3];
    pose[5] = -pose[5];
  }
  return pose;
}

namespace {
uint32_t be32(const void* field) {
  const auto* p = static_cast<const uint8_t*>(field);
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
}  // namespace

std::array<double, 6> publishedPose(const TraData& record) {
  std::array<double, 6> pose{};
  for (int i = 0; i < 6; ++i) pose[i] = static_cast<int32_t>(be32(&record.pose[i])) / 100000.0;
  return pose;
}

uint32_t maskWord(const uint8_t mask[4]) {
  return be32(mask);
}

uint32_t recordId(const RecordHeader& header) {
  return be32(&header.id);
}

}  // namespace e2e
