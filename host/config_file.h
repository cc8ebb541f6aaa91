// The host's configuration file: device blocks of a device line and its
// option lines, split into words once, every line keeping its number.
//
//   # comment
//   device NAME MODULE [ARG...]
//   OPTION [ARG...]
#ifndef MOTIONSTAR_HOST_CONFIG_FILE_H
#define MOTIONSTAR_HOST_CONFIG_FILE_H

#include <cstdint>
#include <string>
#include <vector>

struct OptionLine {
  uint32_t line;
  std::string name;
  std::vector<std::string> args;
};

struct DeviceBlock {
  uint32_t line;
  std::string name;
  std::string module;
  std::vector<std::string> args;
  std::vector<OptionLine> options;

  // The last option of that name (any letter case), or null.
  const OptionLine* find(const std::string& name) const;
};

struct ConfigFile {
  std::vector<DeviceBlock> devices;
};

// Parses text read from fileName; on failure returns false and sets *error to
// "FILE:LINE: what is wrong".
bool parseConfigText(const std::string& text, const std::string& fileName, ConfigFile* config,
                     std::string* error);
bool readConfigFile(const std::string& path, ConfigFile* config, std::string* error);

#endif  // MOTIONSTAR_HOST_CONFIG_FILE_H
