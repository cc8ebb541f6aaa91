// The controller options: emulatetracker, valuatororder, buttonorder,
// valuatorscale, and the order keywords of devices whose unit order is free.
// Every procedure checks the whole record before it changes the table, so a
// rejected option leaves the table as it was.
#include <cstdio>
#include <cstdlib>

#include "common/config.h"
#include "controller/con_common.h"

namespace {

const char* const kIncomplete = "Incomplete option line found for ";
const char* const kTooMany = "Too many args found for ";
const char* const kInvalidArg = "Invalid arg found for ";
const char* const kInvalidController = "Invalid controller ID found for ";
const char* const kInvalidValuator = "Invalid valuator ID found for ";
const char* const kInvalidButton = "Invalid button ID found for ";
const char* const kSameId = "Same ID found more than once in ";
const char* const kInvalidId = "Invalid ID found in ";

const char* const kEmulateLabel = "EmulateTracker at line ";
const char* const kEmulateOptionLabel = "EmulateTracker option at line ";
const char* const kOrderLabel = "Order at line ";
const char* const kOrderOptionLabel = "Order option at line ";
const char* const kScaleLabel = "ValuatorScale at line ";
const char* const kScaleOptionLabel = "ValuatorScale option at line ";

// Arguments beyond the record's 64 slots do not exist.
uint32_t argCount(const OptionRecord& option) {
  return option.argCount < static_cast<uint32_t>(kMaxOptionArgs)
             ? option.argCount
             : static_cast<uint32_t>(kMaxOptionArgs);
}

// 1-based; a missing text reads as empty.
const char* arg(const OptionRecord& option, uint32_t index) {
  const char* text = option.args[index - 1];
  return text != nullptr ? text : "";
}

// Negative numbers turn huge here, so every "greater than" test rejects them.
uint32_t readId(const OptionRecord& option, uint32_t index) {
  return static_cast<uint32_t>(parseInt(arg(option, index)));
}

}  // namespace

void CConCommonH::fault(const OptionRecord& option, const char* phrase, const char* label,
                        const char* closing) const {
  reportOptionFault(logger_.record(), "", phrase, label, option.lineNumber, closing);
}

bool CConCommonH::parseOptions(ConfigEntry* entry) {
  if (!table_) {
    logger_.error("CConCommonH: lookup Null");
    return false;
  }
  if (entry == nullptr) {
    logger_.error("CConCommonH: config empty");
    return false;
  }
  bool allAccepted = true;
  const uint32_t count = entry->optionCount < static_cast<uint32_t>(kMaxOptions)
                             ? entry->optionCount
                             : static_cast<uint32_t>(kMaxOptions);
  for (uint32_t i = 0; i < count; ++i) {
    OptionRecord& option = entry->options[i];
    if (option.name == nullptr) continue;
    bool accepted;
    if (compareNoCase(option.name, "emulatetracker") == 0) {
      accepted = parseEmulateTracker(option);
    } else if (compareNoCase(option.name, "valuatororder") == 0) {
      accepted = parseInputOrder(option, false);
    } else if (compareNoCase(option.name, "buttonorder") == 0) {
      accepted = parseInputOrder(option, true);
    } else if (compareNoCase(option.name, "valuatorscale") == 0) {
      accepted = parseValuatorScale(option);
    } else if (!isInputConnector && (compareNoCase(option.name, "controllerorder") == 0 ||
                                     compareNoCase(option.name, "unitorder") == 0 ||
                                     compareNoCase(option.name, "order") == 0)) {
      accepted = parseControllerOrder(option);
    } else {
      continue;  // another parser's option
    }
    if (accepted) {
      option.recognised = 1;
    } else {
      allAccepted = false;
    }
  }
  return allAccepted;
}

bool CConCommonH::parseEmulateTracker(const OptionRecord& option) {
  const uint32_t args = argCount(option);
  if (args == 0) {
    fault(option, kIncomplete, kEmulateLabel);
    return false;
  }
  const uint32_t id = readId(option, 1);
  const ControllerSetup* setup = find(id);
  if (setup == nullptr) {
    fault(option, kInvalidController, kEmulateOptionLabel);
    return false;
  }
  if (args < 2) {
    fault(option, kIncomplete, kEmulateLabel);
    return false;
  }
  float values[6] = {};
  const char* list = arg(option, 2);
  if (list[0] == '[') {
    std::sscanf(list, "[%f,%f,%f,%f,%f,%f]", &values[0], &values[1], &values[2], &values[3],
                &values[4], &values[5]);
  }
  if (args < 8) {
    fault(option, kIncomplete, kEmulateLabel);
    return false;
  }
  if (args > 9) {
    fault(option, kTooMany, kEmulateLabel);
    return false;
  }
  uint32_t valuators[6];
  for (uint32_t i = 0; i < 6; ++i) {
    valuators[i] = readId(option, 3 + i);
    if (valuators[i] > setup->valuatorCount || valuators[i] > kMaxControllerInputs) {
      fault(option, kInvalidValuator, kEmulateOptionLabel);
      return false;
    }
  }
  uint32_t button = 0;
  if (args == 9) {
    button = readId(option, 9);
    if (button == 0 || button > setup->buttonCount || button > kMaxControllerInputs) {
      fault(option, kInvalidButton, kEmulateOptionLabel, ". Ignored.");
      return false;
    }
  }
  return setEmulation(id, 0, values, valuators, button);
}

bool CConCommonH::parseInputOrder(const OptionRecord& option, bool buttons) {
  const uint32_t args = argCount(option);
  if (args == 0) {
    fault(option, kIncomplete, kOrderLabel);
    return false;
  }
  ControllerSetup* setup = find(readId(option, 1));
  if (setup == nullptr) {
    fault(option, kInvalidController, kOrderOptionLabel);
    return false;
  }
  uint32_t& count = buttons ? setup->buttonCount : setup->valuatorCount;
  uint32_t* map = buttons ? setup->buttonMap : setup->valuatorMap;
  const uint32_t highestAllowed = limitToCounts ? count : kMaxControllerInputs;

  uint32_t ids[kMaxOptionArgs] = {};  // list entry p (1-based) at ids[p]
  uint32_t highest = 0;
  for (uint32_t p = 1; p < args; ++p) ids[p] = readId(option, p + 1);
  for (uint32_t p = 1; p < args; ++p) {
    const uint32_t raw = ids[p];
    if (raw > highest) highest = raw;
    if (raw == 0 && startsWithLetter(arg(option, p + 1))) {
      fault(option, kInvalidArg, kOrderLabel);
      return false;
    }
    for (uint32_t later = p + 1; raw != 0 && later < args; ++later) {
      if (ids[later] == raw) {
        fault(option, kSameId, kOrderOptionLabel);
        return false;
      }
    }
  }
  if (highest > highestAllowed) {
    fault(option, kInvalidId, kOrderOptionLabel);
    return false;
  }
  // highest <= 32 from here on, so every raw ID indexes the map.
  count = highest;
  for (uint32_t r = 0; r < kMaxControllerInputs; ++r) map[r] = 0;
  for (uint32_t p = 1; p < args; ++p) {
    if (ids[p] != 0) map[ids[p] - 1] = p;
  }
  return true;
}

bool CConCommonH::parseValuatorScale(const OptionRecord& option) {
  const uint32_t args = argCount(option);
  if (args == 0) {
    fault(option, kIncomplete, kScaleLabel);
    return false;
  }
  ControllerSetup* setup = find(readId(option, 1));
  if (setup == nullptr) {
    fault(option, kInvalidController, kScaleOptionLabel);
    return false;
  }
  if (args < 3) {
    fault(option, kIncomplete, kScaleLabel);
    return false;
  }
  float scale[4] = {};
  const char* text = arg(option, 2);
  if (text[0] == '[') {
    std::sscanf(text, "[%f,%f,%f,%f]", &scale[0], &scale[1], &scale[2], &scale[3]);
    if (scale[0] == 0.0f && scale[1] == 0.0f && scale[2] == 0.0f && scale[3] == 0.0f) {
      fault(option, kIncomplete, kScaleLabel);
      return false;
    }
  } else {
    scale[2] = static_cast<float>(std::strtod(text, nullptr));
    if (scale[2] == 0.0f && startsWithLetter(text)) {
      fault(option, kInvalidArg, kScaleLabel);
      return false;
    }
  }
  bool selected[kMaxControllerInputs] = {};
  for (uint32_t i = 3; i <= args; ++i) {
    if (compareNoCase(arg(option, i), "all") == 0) {
      for (bool& s : selected) s = true;
      break;
    }
    const uint32_t valuator = readId(option, i);
    if (valuator == 0 || valuator > setup->valuatorCount || valuator > kMaxControllerInputs) {
      fault(option, kInvalidValuator, kScaleOptionLabel);
      return false;
    }
    selected[valuator - 1] = true;
  }
  for (uint32_t r = 0; r < kMaxControllerInputs; ++r) {
    if (!selected[r]) continue;
    for (int k = 0; k < 4; ++k) setup->valuatorScale[r][k] = scale[k];
  }
  return true;
}

bool CConCommonH::parseControllerOrder(const OptionRecord& option) {
  const uint32_t args = argCount(option);
  const uint32_t used = args < maxOutputCount ? args : maxOutputCount;
  uint32_t ids[kMaxOptionArgs + 1] = {};  // 1-based
  for (uint32_t i = 1; i <= used; ++i) {
    ids[i] = readId(option, i);
    if (find(ids[i]) == nullptr) {
      fault(option, kInvalidController, kOrderOptionLabel);
      return false;
    }
  }
  for (uint32_t id = 1; find(id) != nullptr; ++id) find(id)->outputIndex = 0;
  for (uint32_t i = 1; i <= used; ++i) find(ids[i])->outputIndex = i;
  return true;
}
