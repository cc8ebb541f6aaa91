#include "host/config_file.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "motionstar/host_abi.h"

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Words separated by blanks; a word that starts with '#' ends the line.
std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    if (word[0] == '#') break;
    words.push_back(word);
  }
  return words;
}

}  // namespace

const OptionLine* DeviceBlock::find(const std::string& wanted) const {
  const OptionLine* found = nullptr;
  for (const OptionLine& option : options) {
    if (lower(option.name) == lower(wanted)) found = &option;
  }
  return found;
}

bool parseConfigText(const std::string& text, const std::string& fileName, ConfigFile* config,
                     std::string* error) {
  auto fail = [&](uint32_t line, const std::string& what) {
    *error = fileName + ":" + std::to_string(line) + ": " + what;
    return false;
  };
  config->devices.clear();
  std::istringstream in(text);
  uint32_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> words = splitWords(line);
    if (words.empty()) continue;
    if (lower(words[0]) == "device") {
      if (words.size() < 3) return fail(number, "a device line needs a name and a module");
      if (words.size() - 3 > static_cast<size_t>(kMaxOptionArgs)) {
        return fail(number, "more than 64 arguments on the device line");
      }
      // Records, status and messages name a device by its name alone.
      for (const DeviceBlock& earlier : config->devices) {
        if (earlier.name == words[1]) {
          return fail(number, "device name \"" + words[1] + "\" is already used on line " +
                                  std::to_string(earlier.line));
        }
      }
      DeviceBlock block;
      block.line = number;
      block.name = words[1];
      block.module = words[2];
      block.args.assign(words.begin() + 3, words.end());
      config->devices.push_back(std::move(block));
      continue;
    }
    if (config->devices.empty()) {
      return fail(number, "option \"" + words[0] + "\" before any device line");
    }
    DeviceBlock& block = config->devices.back();
    if (block.options.size() == static_cast<size_t>(kMaxOptions)) {
      return fail(number, "more than 32 options for device \"" + block.name + "\"");
    }
    if (words.size() - 1 > static_cast<size_t>(kMaxOptionArgs)) {
      return fail(number, "more than 64 arguments on the option line");
    }
    block.options.push_back({number, words[0], {words.begin() + 1, words.end()}});
  }
  if (config->devices.empty()) return fail(number, "no device line in the file");
  return true;
}

bool readConfigFile(const std::string& path, ConfigFile* config, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return parseConfigText(text.str(), path, config, error);
}
