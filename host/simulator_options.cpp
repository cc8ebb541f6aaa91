#include "host/simulator_options.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr char kDistortion[] = "simulatordistortion";

bool named(const OptionLine& line, const char* name) {
  std::string lower = line.name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == name;
}

}  // namespace

bool takeSimulatorOptions(ConfigFile& config, const std::string& fileName,
                          std::vector<DeviceSimulatorOptions>* options, std::string* error) {
  options->assign(config.devices.size(), {});
  for (size_t d = 0; d < config.devices.size(); ++d) {
    std::vector<OptionLine>& lines = config.devices[d].options;
    for (const OptionLine& line : lines) {
      if (!named(line, kDistortion)) continue;
      std::string why = "takes SEED[,STRENGTH]";
      if (line.args.size() != 1 ||
          !sim::parseDistortion(line.args[0], &(*options)[d].distortion, &why)) {
        *error = fileName + ":" + std::to_string(line.line) + ": " + kDistortion + ": " + why;
        return false;
      }
      (*options)[d].distortionLine = line.line;
    }
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const OptionLine& line) { return named(line, kDistortion); }),
                lines.end());
  }
  return true;
}

std::vector<std::string> unusedSimulatorOptions(const std::vector<DeviceSimulatorOptions>& options,
                                                const std::string& fileName) {
  std::vector<std::string> notes;
  for (const DeviceSimulatorOptions& device : options) {
    if (device.distortionLine != 0) {
      notes.push_back(fileName + ":" + std::to_string(device.distortionLine) + ": " + kDistortion +
                      " is for --simulate; ignored");
    }
  }
  return notes;
}
