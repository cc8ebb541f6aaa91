// Builds a host configuration entry of option lines for the parser tests.
#ifndef MOTIONSTAR_TESTS_SUPPORT_ENTRY_BUILDER_H
#define MOTIONSTAR_TESTS_SUPPORT_ENTRY_BUILDER_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "motionstar/host_abi.h"

class EntryBuilder {
 public:
  EntryBuilder();

  // Appends an option line and returns its record, which stays in place for
  // the builder's life.
  OptionRecord& add(uint32_t lineNumber, const std::string& name,
                    const std::vector<std::string>& args);
  // The same, with the blank-separated words of one text as the arguments.
  OptionRecord& addWords(uint32_t lineNumber, const std::string& name, const std::string& words);

  ConfigEntry* get() { return entry_.get(); }
  OptionRecord& option(uint32_t index) { return entry_->options[index]; }

 private:
  const char* keep(const std::string& text);

  std::unique_ptr<ConfigEntry> entry_;
  std::deque<std::string> texts_;  // the host's texts; a deque never moves them
};

#endif  // MOTIONSTAR_TESTS_SUPPORT_ENTRY_BUILDER_H
