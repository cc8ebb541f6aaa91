// Builds a host configuration entry of option lines for the parser tests, and
// a logger whose lines start with a known "T: " prefix.
#ifndef MOTIONSTAR_TESTS_TRACKER_OPTION_ENTRY_H
#define MOTIONSTAR_TESTS_TRACKER_OPTION_ENTRY_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "motionstar/host_abi.h"

class OptionEntry {
 public:
  OptionEntry();
  // Appends an option line and returns its record (stable for the entry's life).
  OptionRecord& add(uint32_t lineNumber, const std::string& name,
                    const std::vector<std::string>& args);
  ConfigEntry* get() { return entry_.get(); }
  OptionRecord& option(uint32_t index) { return entry_->options[index]; }

 private:
  const char* keep(const std::string& text);

  std::unique_ptr<ConfigEntry> entry_;
  std::deque<std::string> texts_;  // the host's texts; a deque never moves them
};

// No date, time or thread id; named "T"; DEBUG output at the given level
// (0 = none) with a threshold above every owner level.
CLogH testLogger(int32_t debugLevel = 0);

#endif  // MOTIONSTAR_TESTS_TRACKER_OPTION_ENTRY_H
