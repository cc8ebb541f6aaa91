#include "host/host_entry.h"

#include <cstring>

HostEntry::HostEntry(const DeviceBlock& block) : words_(block), entry_(new ConfigEntry) {
  std::memset(entry_.get(), 0, sizeof *entry_);
  ConfigEntry& e = *entry_;
  e.lineNumber = words_.line;
  e.deviceName = words_.name.c_str();
  e.secondText = words_.module.c_str();
  for (const std::string& arg : words_.args) e.deviceArgs[e.deviceArgCount++] = arg.c_str();
  for (const OptionLine& line : words_.options) {
    OptionRecord& option = e.options[e.optionCount++];
    option.lineNumber = line.line;
    option.name = line.name.c_str();
    for (const std::string& arg : line.args) option.args[option.argCount++] = arg.c_str();
  }
}
