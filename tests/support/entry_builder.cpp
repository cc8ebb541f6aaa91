#include "support/entry_builder.h"

#include <sstream>

EntryBuilder::EntryBuilder() : entry_(std::make_unique<ConfigEntry>()) {}

const char* EntryBuilder::keep(const std::string& text) {
  texts_.push_back(text);
  return texts_.back().c_str();
}

OptionRecord& EntryBuilder::add(uint32_t lineNumber, const std::string& name,
                                const std::vector<std::string>& args) {
  OptionRecord& record = entry_->options[entry_->optionCount++];
  record.lineNumber = lineNumber;
  record.name = keep(name);
  for (const std::string& arg : args) record.args[record.argCount++] = keep(arg);
  return record;
}

OptionRecord& EntryBuilder::addWords(uint32_t lineNumber, const std::string& name,
                                     const std::string& words) {
  std::vector<std::string> args;
  std::istringstream in(words);
  for (std::string word; in >> word;) args.push_back(word);
  return add(lineNumber, name, args);
}
