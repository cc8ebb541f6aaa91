#include "host/simulation.h"

#include <cctype>
#include <cstdlib>

#include "motionstar/host_abi.h"

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void setOption(DeviceBlock& block, const std::string& name, const std::string& value) {
  for (OptionLine& option : block.options) {
    if (lower(option.name) == name) option.args = {value};
  }
  if (block.find(name) == nullptr) block.options.push_back({block.line, name, {value}});
}

bool isUdp(const DeviceBlock& block) {
  const OptionLine* protocol = block.find("protocol");
  return protocol != nullptr && !protocol->args.empty() && lower(protocol->args[0]) == "udp";
}

}  // namespace

bool Simulation::check(const ConfigFile& config, const Options& options, std::string* error) {
  for (const SimFault& fault : options.simFaults) {
    bool known = fault.device.empty();
    for (const DeviceBlock& block : config.devices) known = known || block.name == fault.device;
    if (!known) {
      *error =
          "--sim-fault names the device \"" + fault.device + "\", which the file does not have";
      return false;
    }
  }
  for (const DeviceBlock& block : config.devices) {
    const bool udp = isUdp(block);
    size_t added = (block.find("motionstaraddress") ? 0 : 1) + (udp && !block.find("port") ? 1 : 0);
    if (block.options.size() + added > static_cast<size_t>(kMaxOptions)) {
      *error = "device \"" + block.name + "\": no room for the simulator's address option";
      return false;
    }
  }
  return true;
}

bool Simulation::start(ConfigFile& config, const Options& options,
                       const std::vector<DeviceSimulatorOptions>& perDevice, std::string* error) {
  int index = 0;
  for (DeviceBlock& block : config.devices) {
    ++index;
    const bool udp = isUdp(block);
    const OptionLine* erc = block.find("erc");
    const OptionLine* wanda = block.find("wanda");
    long trackers = block.args.empty() ? 2 : std::strtol(block.args[0].c_str(), nullptr, 0);
    if (trackers < 1 || trackers > 32) trackers = 2;  // the driver reports the fault itself

    sim::Config simConfig;
    simConfig.address = "127.0.0." + std::to_string(10 + index);
    simConfig.enableTcp = !udp;
    simConfig.enableUdp = udp;
    simConfig.units = static_cast<int>(trackers) + 1;
    if (erc != nullptr && !erc->args.empty()) {
      simConfig.ercAddress = static_cast<int>(std::strtol(erc->args[0].c_str(), nullptr, 0));
      if (simConfig.ercAddress < 1 || simConfig.ercAddress > simConfig.units)
        simConfig.ercAddress = 1;
    }
    simConfig.rate = options.rate;
    simConfig.seed = options.seed + static_cast<uint64_t>(index - 1);
    simConfig.modelHemisphere = true;
    if (static_cast<size_t>(index) <= perDevice.size()) {
      simConfig.distortion = perDevice[index - 1].distortion;
    }
    simConfig.wanda = wanda != nullptr;
    if (simConfig.wanda) {
      simConfig.wandScript = sim::Simulator::wandScript(simConfig.seed);
      simConfig.loopWandScript = true;
    }
    for (const SimFault& fault : options.simFaults) {
      if (!fault.device.empty() && fault.device != block.name) continue;
      (fault.powerCycle ? simConfig.powerCycles : simConfig.networkOutages) = fault.timing;
    }
    std::string why;
    if (capture_.active() && !capture_.apply(block.name, &simConfig, &why)) {
      *error = "device \"" + block.name + "\": " + why;
      return false;
    }
    auto simulator = std::make_unique<sim::Simulator>(simConfig);
    if (!simulator->start(&why)) {
      *error = "device \"" + block.name + "\": the simulator did not start: " + why;
      return false;
    }
    setOption(block, "motionstaraddress", simConfig.address);
    if (udp && block.find("port") == nullptr) setOption(block, "port", "0");
    simulators_.push_back(std::move(simulator));
  }
  return true;
}

void Simulation::stop() {
  for (auto& simulator : simulators_) simulator->stop();
}

bool Simulation::replayFinished() const {
  for (const auto& simulator : simulators_) {
    if (!simulator->replayFinished()) return false;
  }
  return !simulators_.empty();
}
