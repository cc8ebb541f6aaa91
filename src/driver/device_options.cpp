// The option phase of init: the device line and the device's own options.
#include <cstring>

#include "common/config.h"
#include "common/logger.h"
#include "driver/motionstar.h"

namespace {

constexpr const char* kPrefix = "CMotionStar: ";
constexpr const char* kIncomplete = "Incomplete option line found for ";
constexpr const char* kTooMany = "Too many args found for ";
constexpr const char* kInvalidArg = "Invalid arg found for ";
constexpr const char* kInvalidString = "Invalid string found for ";
constexpr const char* kInvalidId = "Invalid ID found for ";
constexpr const char* kInvalidPort = "Invalid input port found for ";

struct WordCode {
  const char* word;
  int code;
};

// The code of a word from the option's list, or -1.
template <size_t N>
int lookup(const WordCode (&table)[N], const char* word) {
  for (const WordCode& entry : table) {
    if (compareNoCase(word, entry.word) == 0) return entry.code;
  }
  return -1;
}

constexpr WordCode kProtocols[] = {{"tcp", 1}, {"udp", 2}};
constexpr WordCode kAddressingModes[] = {{"normal", 14}, {"expanded", 30}, {"super", 126}};
constexpr WordCode kSyncModes[] = {{"yes", 1},   {"on", 1}, {"type1", 1},
                                   {"type2", 2}, {"no", 0}, {"off", 0}};
constexpr WordCode kFilterModes[] = {{"yes", 1}, {"on", 1}, {"no", 0}, {"off", 0}};
constexpr WordCode kHemispheres[] = {{"x", 0},  {"+x", 0}, {"-x", 1}, {"-z", 2}, {"z", 3},
                                     {"+z", 3}, {"-y", 4}, {"y", 5},  {"+y", 5}};
constexpr WordCode kReportRates[] = {{"1", 1}, {"2", 2}, {"8", 8}, {"32", 32}};

bool isSixDigits(const char* text) {
  for (int i = 0; i < 6; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return text[6] == '\0';
}

// One option's outcome: accepted, a fault (already reported), a fault that
// ends init at once, or an option for another parser.
enum class OptionOutcome { kAccepted, kFault, kFatal, kNotMine };

class DeviceOptionParser {
 public:
  DeviceOptionParser(const CLogH& log, uint32_t numTrackers)
      : log_(log), numTrackers_(numTrackers) {}

  OptionOutcome fault(const char* phrase, const char* label, const OptionRecord& option) {
    reportOptionFault(log_, kPrefix, phrase, label, option.lineNumber);
    return OptionOutcome::kFault;
  }

  // Checks that the option has exactly one argument.
  bool single(const OptionRecord& option, const char* label, OptionOutcome* outcome) {
    if (option.argCount == 0) {
      *outcome = fault(kIncomplete, label, option);
      return false;
    }
    if (option.argCount > 1) {
      *outcome = fault(kTooMany, label, option);
      return false;
    }
    return true;
  }

  template <size_t N>
  OptionOutcome word(const OptionRecord& option, const char* label, const WordCode (&table)[N],
                     int* code) {
    OptionOutcome outcome = OptionOutcome::kAccepted;
    if (!single(option, label, &outcome)) return outcome;
    int found = lookup(table, option.args[0]);
    if (found < 0) return fault(kInvalidString, label, option);
    *code = found;
    return OptionOutcome::kAccepted;
  }

  // Seven 16-bit numbers, stored one by one as they are read.
  OptionOutcome table7(const OptionRecord& option, const char* label, uint16_t* values,
                       uint8_t* given) {
    if (option.argCount < 7) return fault(kIncomplete, label, option);
    if (option.argCount > 7) return fault(kTooMany, label, option);
    for (int i = 0; i < 7; ++i) {
      auto value = static_cast<uint16_t>(parseInt(option.args[i]));
      if (value == 0 && startsWithLetter(option.args[i])) return fault(kInvalidArg, label, option);
      values[i] = value;
    }
    *given = 1;
    return OptionOutcome::kAccepted;
  }

  const CLogH& log_;
  uint32_t numTrackers_;
};

}  // namespace

bool CMotionStar::parseDeviceOptions(ConfigEntry& entry) {
  DeviceOptionParser parser(log(), numTrackers);
  bool faulty = false;
  for (uint32_t i = 0; i < entry.optionCount; ++i) {
    OptionRecord& option = entry.options[i];
    const char* name = option.name;
    OptionOutcome outcome = OptionOutcome::kNotMine;
    int code = 0;
    if (compareNoCase(name, "port") == 0) {
      const char* label = "Port at line ";
      if (parser.single(option, label, &outcome)) {
        auto port = static_cast<uint16_t>(parseInt(option.args[0]));
        if (port == 0 && startsWithLetter(option.args[0])) {
          outcome = parser.fault(kInvalidArg, label, option);
        } else {
          localPort = port;
          outcome = OptionOutcome::kAccepted;
        }
      }
    } else if (compareNoCase(name, "motionstaraddress") == 0) {
      const char* label = "MotionstarAddress at line ";
      if (parser.single(option, label, &outcome)) {
        // The field holds 99 characters; a longer text is refused, not cut.
        if (std::strlen(option.args[0]) >= sizeof deviceAddress) {
          outcome = parser.fault(kInvalidArg, label, option);
        } else {
          std::strcpy(deviceAddress, option.args[0]);
          outcome = OptionOutcome::kAccepted;
        }
      }
    } else if (compareNoCase(name, "protocol") == 0) {
      outcome = parser.word(option, "Protocol at line ", kProtocols, &code);
      if (outcome == OptionOutcome::kAccepted) {
        protocol = code;
        devicePort = code == 1 ? 6000 : 5000;
      }
    } else if (compareNoCase(name, "addressingmode") == 0) {
      outcome = parser.word(option, "AddressingMode at line ", kAddressingModes, &code);
      if (outcome == OptionOutcome::kAccepted) addressingMode = code;
    } else if (compareNoCase(name, "sync") == 0) {
      outcome = parser.word(option, "Sync at line ", kSyncModes, &code);
      if (outcome == OptionOutcome::kAccepted) syncMode = code;
    } else if (compareNoCase(name, "filter") == 0) {
      outcome = parser.word(option, "Filter at line ", kFilterModes, &code);
      if (outcome == OptionOutcome::kAccepted) filterOn = static_cast<uint8_t>(code);
    } else if (compareNoCase(name, "erc") == 0) {
      const char* label = "ERC at line ";
      if (parser.single(option, label, &outcome)) {
        auto id = static_cast<uint32_t>(parseInt(option.args[0]));
        if (id == 0 || id > numTrackers + 1) {
          outcome = parser.fault(kInvalidId, label, option);
        } else {
          ercId = id;
          outcome = OptionOutcome::kAccepted;
        }
      }
    } else if (compareNoCase(name, "hemisphere") == 0) {
      outcome = parser.word(option, "Hemisphere at line ", kHemispheres, &code);
      if (outcome == OptionOutcome::kAccepted) hemisphere = static_cast<uint8_t>(code);
    } else if (compareNoCase(name, "reportrate") == 0) {
      outcome = parser.word(option, "ReportRate at line ", kReportRates, &code);
      if (outcome == OptionOutcome::kAccepted) reportRate = static_cast<uint8_t>(code);
    } else if (compareNoCase(name, "measurementrate") == 0) {
      const char* label = "MeasurementRate at line ";
      if (parser.single(option, label, &outcome)) {
        // The setup block takes exactly six digits; anything else would send
        // a terminator or stray bytes to the tracking system.
        if (!isSixDigits(option.args[0])) {
          outcome = parser.fault(kInvalidArg, label, option);
        } else {
          std::memset(measurementRate, 0, sizeof measurementRate);
          std::memcpy(measurementRate, option.args[0], 6);
          outcome = OptionOutcome::kAccepted;
        }
      }
    } else if (compareNoCase(name, "alphamin") == 0) {
      outcome = parser.table7(option, "AlphaMin at line ", alphaMin, &alphaMinGiven);
    } else if (compareNoCase(name, "alphamax") == 0) {
      outcome = parser.table7(option, "AlphaMax at line ", alphaMax, &alphaMaxGiven);
    } else if (compareNoCase(name, "vm") == 0) {
      outcome = parser.table7(option, "VM at line ", vmTable, &vmGiven);
    } else if (compareNoCase(name, "wanda") == 0) {
      if (option.argCount == 0) {
        outcome = parser.fault(kIncomplete, "wanda at line ", option);
      } else {
        auto port = static_cast<uint16_t>(parseInt(option.args[0]));
        if (port != 1 && port != 2) {
          parser.fault(kInvalidPort, "wanda at line (must be 1 or 2) ", option);
          outcome = OptionOutcome::kFatal;
        } else {
          wandaOn = 1;
          dataKind = 1;
          wandaAuxPort = port;
          outcome = OptionOutcome::kAccepted;
        }
      }
    }
    switch (outcome) {
      case OptionOutcome::kAccepted:
        option.recognised = 1;
        break;
      case OptionOutcome::kFault:
        faulty = true;
        break;
      case OptionOutcome::kFatal:
        return false;
      case OptionOutcome::kNotMine:
        break;
    }
  }
  return !faulty;
}
