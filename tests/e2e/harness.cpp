#include "e2e/harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "host/config_file.h"
#include "platform/process.h"
#include "support/loopback_probe.h"

namespace e2e {

std::string uniqueLoopbackAddress() {
  // 22 bits of the process id and 2 of a counter fill 127.x.y.z.
  static std::atomic<int> counter{0};
  const unsigned pid = platform::processId();
  const unsigned serial = static_cast<unsigned>(counter++ % 3);
  const unsigned value = ((pid & 0x3FFFFF) << 2) | (serial + 1);
  return "127." + std::to_string((value >> 16) & 0xFF) + "." + std::to_string((value >> 8) & 0xFF) +
         "." + std::to_string(value & 0xFF);
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

CLogH plainLogger(const char* name) {
  CLogH log{};
  log.enabled = 1;
  std::strcpy(log.name, name);
  const char* labels[] = {"INFO", "ERROR", "WARNING", "DEBUG"};
  for (int i = 0; i < 4; ++i) std::strcpy(log.levelLabels[i], labels[i]);
  log.debugThreshold = 1;
  return log;
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

// A simulator on the fixed ports of a loopback address of its own.
sim::Config onFixedPorts(sim::Config config) {
  // Where a UDP bind to 127.x.y.z widens to every address (Wine), such a
  // simulator answers from 127.0.0.1 and the driver rightly drops its data as
  // not its device's: UDP simulators take 127.0.0.1 itself there, one at a time.
  const bool udpOnOwnAddress = !config.enableUdp || loopback_probe::udpAddressesStayApart();
  config.address = udpOnOwnAddress ? uniqueLoopbackAddress() : "127.0.0.1";
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
  config = onFixedPorts(std::move(config));
  *address = config.address;
  auto simulator = std::make_unique<sim::Simulator>(config);
  std::string error;
  if (!simulator->start(&error)) {
    ADD_FAILURE() << "simulator on " << config.address << ": " << error;
    return nullptr;
  }
  return simulator;
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
