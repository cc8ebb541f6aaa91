#include "option_entry.h"

#include <cstring>

#include "common/logger.h"

OptionEntry::OptionEntry() : entry_(new ConfigEntry) {
  std::memset(entry_.get(), 0, sizeof(ConfigEntry));
}

const char* OptionEntry::keep(const std::string& text) {
  texts_.push_back(text);
  return texts_.back().c_str();
}

OptionRecord& OptionEntry::add(uint32_t lineNumber, const std::string& name,
                               const std::vector<std::string>& args) {
  OptionRecord& record = entry_->options[entry_->optionCount++];
  record.lineNumber = lineNumber;
  record.name = keep(name);
  for (const std::string& arg : args) record.args[record.argCount++] = keep(arg);
  return record;
}

CLogH testLogger(int32_t debugLevel) {
  CLogH log;
  logh::resetDefaults(log);
  log.showDate = log.showTime = log.showThreadId = 0;
  logh::setName(log, "T");
  log.debugLevel = debugLevel;
  log.debugThreshold = 99;
  return log;
}
