#include "host/device_runner.h"

#include "platform/process.h"

DeviceRunner::DeviceRunner(const DeviceBlock& block, DriverModule& module, HostStorages& storages,
                           CLogH* hostLog, Output& output)
    : name_(block.name),
      entry_(block),
      module_(module),
      storages_(storages),
      hostLog_(hostLog),
      output_(output) {}

DeviceRunner::~DeviceRunner() {
  join();
  shutDown();
}

bool DeviceRunner::bringUp(std::string* error) {
  device_ = module_.create(entry_.entry(), hostLog_);
  if (device_ == nullptr) {
    *error = "device \"" + name_ + "\": createDev failed";
    return false;
  }
  InitInfo info = storages_.initInfo();
  if (device_->init(&info) != 1) {
    *error = "device \"" + name_ + "\": init failed";
    return false;
  }
  initialised_ = true;
  if (device_->configure() == 0) {
    *error = "device \"" + name_ + "\": configure failed";
    return false;
  }
  if (!device_->start()) {
    *error = "device \"" + name_ + "\": start failed";
    return false;
  }
  return true;
}

void DeviceRunner::startReading(const std::atomic<bool>& stop, uint64_t packetLimit) {
  reader_ = std::thread([this, &stop, packetLimit] { readLoop(stop, packetLimit); });
}

void DeviceRunner::join() {
  if (reader_.joinable()) reader_.join();
}

void DeviceRunner::readLoop(const std::atomic<bool>& stop, uint64_t packetLimit) {
  while (!stop && (packetLimit == 0 || packets_ < packetLimit)) {
    UpdatedMasks masks{};
    if (device_->recvData(&masks, nullptr) == 1) {
      ++packets_;
      publishChanged(masks);
    } else {
      ++failures_;
      publishChanged(masks);  // records published before a failure stay published
      // A device that keeps failing must not spin the processor.
      platform::sleepMilliseconds(10);
    }
    output_.deviceStats(name_, packets_, failures_);
  }
  finished_ = true;
}

void DeviceRunner::publishChanged(const UpdatedMasks& masks) {
  // One time for the read's records: they were published together.
  const auto publishedUs =
      static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count());
  auto stamped = [publishedUs](Publication p) {
    p.publishedUs = publishedUs;
    return p;
  };
  for (uint32_t id = 1; id <= kMaxElements; ++id) {
    const uint32_t byte = 3 - (id - 1) / 8;
    const uint8_t bit = static_cast<uint8_t>(1u << ((id - 1) % 8));
    if (masks.tracker[byte] & bit) {
      output_.publish(stamped(decodeTracker(name_, storages_.tracker(id))));
    }
    if (masks.controller[byte] & bit) {
      output_.publish(stamped(decodeController(name_, storages_.controller(id))));
    }
  }
}

bool DeviceRunner::shutDown() {
  if (device_ == nullptr) return true;
  bool stopped = true;
  // After a successful init the tracking system may be awake or streaming:
  // leave it stopped and shut down.
  if (initialised_) stopped = device_->stop();
  module_.destroy(device_);
  device_ = nullptr;
  return stopped;
}
