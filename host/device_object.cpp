#include "host/device_object.h"

#include <cctype>

bool DeviceObject::create(InitInfo info) {
  close();
  device_ = module_.create(entry_, log_);
  return device_ != nullptr && device_->init(&info) == 1;
}

bool DeviceObject::configure() {
  configured_ = device_->configure() != 0;
  return configured_;
}

bool DeviceObject::start() {
  return device_->start();
}

int32_t DeviceObject::read(UpdatedMasks* masks) {
  return device_->recvData(masks, nullptr);
}

bool DeviceObject::close() {
  if (device_ == nullptr) return true;
  const bool stopped = !configured_ || device_->stop();
  module_.destroy(device_);
  device_ = nullptr;
  configured_ = false;
  return stopped;
}

namespace {

bool isWanda(const char* name) {
  const char* word = "wanda";
  for (; *name != '\0' && *word != '\0'; ++name, ++word) {
    if (std::tolower(static_cast<unsigned char>(*name)) != *word) return false;
  }
  return *name == '\0' && *word == '\0';
}

}  // namespace

std::string configurationFault(const ConfigEntry& entry, bool tookTrackerSlots,
                               bool tookControllerSlot) {
  std::string refused;
  bool wandaAccepted = false;
  for (uint32_t i = 0; i < entry.optionCount && i < kMaxOptions; ++i) {
    const OptionRecord& option = entry.options[i];
    const std::string name = option.name != nullptr ? option.name : "";
    if (option.recognised == 0) {
      refused += (refused.empty() ? "" : ", ") + ("\"" + name + "\" (line ") +
                 std::to_string(option.lineNumber) + ")";
    } else if (isWanda(name.c_str())) {
      wandaAccepted = true;
    }
  }
  const std::string head = "configuration error (the driver's messages above say where): ";
  if (!refused.empty()) return head + "options it did not take: " + refused;
  if (!tookTrackerSlots) {
    return head +
           "no tracker slot taken (a tracker count outside 1 to 32, or more than 32 "
           "trackers in all)";
  }
  if (wandaAccepted && !tookControllerSlot) {
    return head + "no controller slot taken for the wand (more than 32 wands in all)";
  }
  return "";
}
