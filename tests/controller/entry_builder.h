// Builds a host configuration entry for the option parser tests.
#ifndef MOTIONSTAR_TESTS_CONTROLLER_ENTRY_BUILDER_H
#define MOTIONSTAR_TESTS_CONTROLLER_ENTRY_BUILDER_H

#include <cstring>
#include <deque>
#include <memory>
#include <sstream>
#include <string>

#include "motionstar/host_abi.h"

class EntryBuilder {
 public:
  EntryBuilder() : entry_(new ConfigEntry) { std::memset(entry_.get(), 0, sizeof(ConfigEntry)); }

  // One option line; its arguments are the blank-separated words of `words`.
  EntryBuilder& add(uint32_t line, const char* name, const std::string& words) {
    OptionRecord& option = entry_->options[entry_->optionCount++];
    option.lineNumber = line;
    option.name = name;
    std::istringstream in(words);
    for (std::string word; in >> word;) {
      texts_.push_back(word);  // a deque keeps earlier texts in place
      option.args[option.argCount++] = texts_.back().c_str();
    }
    return *this;
  }

  ConfigEntry* get() { return entry_.get(); }
  const OptionRecord& option(uint32_t index) const { return entry_->options[index]; }

 private:
  std::unique_ptr<ConfigEntry> entry_;
  std::deque<std::string> texts_;
};

#endif  // MOTIONSTAR_TESTS_CONTROLLER_ENTRY_BUILDER_H
