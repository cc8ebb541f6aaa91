#include "common/config.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "common/logger.h"

void toLowerInPlace(char* text) {
  for (; *text != '\0'; ++text) {
    *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
  }
}

int compareNoCase(const char* a, const char* b) {
  const auto lower = [](const char* c) { return std::tolower(static_cast<unsigned char>(*c)); };
  while (*a != '\0' && lower(a) == lower(b)) {
    ++a;
    ++b;
  }
  if (lower(a) == lower(b)) return 0;
  return lower(a) < lower(b) ? -1 : 1;
}

int32_t parseInt(const char* text) {
  return static_cast<int32_t>(std::strtol(text, nullptr, 0));
}

bool startsWithLetter(const char* text) {
  return std::isalpha(static_cast<unsigned char>(text[0])) != 0;
}

namespace CConfigH {

bool checkUnknownOptions(const ConfigEntry& entry, const CLogH& log) {
  bool allKnown = true;
  for (uint32_t i = 0; i < entry.optionCount && i < kMaxOptions; ++i) {
    const OptionRecord& option = entry.options[i];
    if (option.recognised != 0) continue;
    logh::error(log, "CConfigH: Unknown option \"", false);
    std::cout << option.name << "\" found at line " << option.lineNumber << "." << std::endl;
    allKnown = false;
  }
  return allKnown;
}

bool checkEntryShape(const ConfigEntry& entry, const CLogH& log) {
  if (entry.optionCount > static_cast<uint32_t>(kMaxOptions)) {
    logh::error(log, "CConfigH: The entry holds more than 32 options.");
    return false;
  }
  bool sound = true;
  for (uint32_t i = 0; i < entry.optionCount; ++i) {
    const OptionRecord& option = entry.options[i];
    if (option.name == nullptr) {
      logh::error(log, "CConfigH: Option without a name found at line ", false);
      std::cout << option.lineNumber << "." << std::endl;
      sound = false;
    } else if (option.argCount > static_cast<uint32_t>(kMaxOptionArgs)) {
      logh::error(log, "CConfigH: Too many arguments found at line ", false);
      std::cout << option.lineNumber << "." << std::endl;
      sound = false;
    }
  }
  if (entry.deviceArgCount > static_cast<uint32_t>(kMaxOptionArgs)) {
    logh::error(log, "CConfigH: Too many arguments found at line ", false);
    std::cout << entry.lineNumber << "." << std::endl;
    sound = false;
  }
  return sound;
}

}  // namespace CConfigH
