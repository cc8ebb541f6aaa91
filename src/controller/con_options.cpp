// The controller options: emulatetracker, valuatororder, buttonorder,
// valuatorscale, and the order keywords of devices whose unit order is free.
// Every procedure checks the whole record before it changes the table, so a
// rejected option leaves the table as it was.
#include <optional>

#include "common/option_kit.h"
#include "controller/con_common.h"

using optkit::Option;
using optkit::Outcome;

namespace {

const char* const kInvalidController = "Invalid controller ID found for ";
const char* const kInvalidValuator = "Invalid valuator ID found for ";
const char* const kInvalidButton = "Invalid button ID found for ";
const char* const kSameId = "Same ID found more than once in ";
const char* const kInvalidId = "Invalid ID found in ";

// Each keyword's label, and the second label its ID faults carry.
const char* const kEmulateLabel = "EmulateTracker at line ";
const char* const kEmulateOptionLabel = "EmulateTracker option at line ";
const char* const kOrderLabel = "Order at line ";
const char* const kOrderOptionLabel = "Order option at line ";
const char* const kScaleLabel = "ValuatorScale at line ";
const char* const kScaleOptionLabel = "ValuatorScale option at line ";

// 1-based. Negative numbers turn huge here, so every "greater than" test
// rejects them.
uint32_t readId(const Option& option, uint32_t index) {
  return static_cast<uint32_t>(parseInt(option.arg(index - 1)));
}

}  // namespace

// The keyword handlers, with the table's private members in reach.
class CConCommonH::OptionParser {
 public:
  explicit OptionParser(CConCommonH& con) : con_(con) {}

  static const optkit::Keyword<OptionParser> kKeywords[];

  Outcome emulateTracker(const Option& option);
  Outcome valuatorOrder(const Option& option) { return inputOrder(option, false); }
  Outcome buttonOrder(const Option& option) { return inputOrder(option, true); }
  Outcome valuatorScale(const Option& option);
  Outcome controllerOrder(const Option& option);

 private:
  Outcome inputOrder(const Option& option, bool buttons);

  CConCommonH& con_;
};

const optkit::Keyword<CConCommonH::OptionParser> CConCommonH::OptionParser::kKeywords[] = {
    {"emulatetracker", &OptionParser::emulateTracker, kEmulateLabel},
    {"valuatororder", &OptionParser::valuatorOrder, kOrderLabel},
    {"buttonorder", &OptionParser::buttonOrder, kOrderLabel},
    {"valuatorscale", &OptionParser::valuatorScale, kScaleLabel},
    {"controllerorder", &OptionParser::controllerOrder, kOrderLabel},
    {"unitorder", &OptionParser::controllerOrder, kOrderLabel},
    {"order", &OptionParser::controllerOrder, kOrderLabel},
};

bool CConCommonH::parseOptions(ConfigEntry* entry) {
  if (!table_) {
    logger_.error("CConCommonH: lookup Null");
    return false;
  }
  if (entry == nullptr) {
    logger_.error("CConCommonH: config empty");
    return false;
  }
  OptionParser parser(*this);
  return optkit::parseOptions(*entry, OptionParser::kKeywords, parser, {logger_.record(), ""});
}

Outcome CConCommonH::OptionParser::emulateTracker(const Option& option) {
  const uint32_t args = option.argCount();
  if (args == 0) return option.fault(optkit::kIncomplete);
  const uint32_t id = readId(option, 1);
  const ControllerSetup* setup = con_.find(id);
  if (setup == nullptr) return option.fault(kInvalidController, kEmulateOptionLabel);
  if (args < 2) return option.fault(optkit::kIncomplete);
  float values[6] = {};
  const char* list = option.arg(1);
  if (list[0] == '[' && !optkit::readRealList(list, 6, values)) {
    return option.fault(optkit::kInvalidArg);
  }
  if (const char* phrase = option.countFault(8, 9)) return option.fault(phrase);
  uint32_t valuators[6];
  for (uint32_t i = 0; i < 6; ++i) {
    valuators[i] = readId(option, 3 + i);
    if (valuators[i] > setup->valuatorCount || valuators[i] > kMaxControllerInputs) {
      return option.fault(kInvalidValuator, kEmulateOptionLabel);
    }
  }
  uint32_t button = 0;
  if (args == 9) {
    button = readId(option, 9);
    if (button == 0 || button > setup->buttonCount || button > kMaxControllerInputs) {
      return option.fault(kInvalidButton, kEmulateOptionLabel, ". Ignored.");
    }
  }
  return con_.setEmulation(id, 0, values, valuators, button) ? Outcome::kAccepted
                                                             : Outcome::kFaulty;
}

Outcome CConCommonH::OptionParser::inputOrder(const Option& option, bool buttons) {
  const uint32_t args = option.argCount();
  if (args == 0) return option.fault(optkit::kIncomplete);
  ControllerSetup* setup = con_.find(readId(option, 1));
  if (setup == nullptr) return option.fault(kInvalidController, kOrderOptionLabel);
  uint32_t& count = buttons ? setup->buttonCount : setup->valuatorCount;
  uint32_t* map = buttons ? setup->buttonMap : setup->valuatorMap;
  const uint32_t highestAllowed = con_.limitToCounts ? count : kMaxControllerInputs;

  uint32_t ids[kMaxOptionArgs] = {};  // list entry p (1-based) at ids[p]
  uint32_t highest = 0;
  for (uint32_t p = 1; p < args; ++p) ids[p] = readId(option, p + 1);
  for (uint32_t p = 1; p < args; ++p) {
    const uint32_t raw = ids[p];
    if (raw > highest) highest = raw;
    if (!optkit::readInteger(option.arg(p))) return option.fault(optkit::kInvalidArg);
    for (uint32_t later = p + 1; raw != 0 && later < args; ++later) {
      if (ids[later] == raw) return option.fault(kSameId, kOrderOptionLabel);
    }
  }
  if (highest > highestAllowed) return option.fault(kInvalidId, kOrderOptionLabel);
  // highest <= 32 from here on, so every raw ID indexes the map.
  count = highest;
  for (uint32_t r = 0; r < kMaxControllerInputs; ++r) map[r] = 0;
  for (uint32_t p = 1; p < args; ++p) {
    if (ids[p] != 0) map[ids[p] - 1] = p;
  }
  return Outcome::kAccepted;
}

Outcome CConCommonH::OptionParser::valuatorScale(const Option& option) {
  const uint32_t args = option.argCount();
  if (args == 0) return option.fault(optkit::kIncomplete);
  ControllerSetup* setup = con_.find(readId(option, 1));
  if (setup == nullptr) return option.fault(kInvalidController, kScaleOptionLabel);
  if (args < 3) return option.fault(optkit::kIncomplete);
  float scale[4] = {};
  const char* text = option.arg(1);
  if (text[0] == '[') {
    if (!optkit::readRealList(text, 4, scale)) return option.fault(optkit::kInvalidArg);
    if (scale[0] == 0.0f && scale[1] == 0.0f && scale[2] == 0.0f && scale[3] == 0.0f) {
      return option.fault(optkit::kIncomplete);
    }
  } else {
    const std::optional<float> factor = optkit::readReal(text);
    if (!factor) return option.fault(optkit::kInvalidArg);
    scale[2] = *factor;
  }
  bool selected[kMaxControllerInputs] = {};
  for (uint32_t i = 3; i <= args; ++i) {
    if (compareNoCase(option.arg(i - 1), "all") == 0) {
      for (bool& s : selected) s = true;
      break;
    }
    const uint32_t valuator = readId(option, i);
    if (valuator == 0 || valuator > setup->valuatorCount || valuator > kMaxControllerInputs) {
      return option.fault(kInvalidValuator, kScaleOptionLabel);
    }
    selected[valuator - 1] = true;
  }
  for (uint32_t r = 0; r < kMaxControllerInputs; ++r) {
    if (!selected[r]) continue;
    for (int k = 0; k < 4; ++k) setup->valuatorScale[r][k] = scale[k];
  }
  return Outcome::kAccepted;
}

Outcome CConCommonH::OptionParser::controllerOrder(const Option& option) {
  // A device whose unit order is fixed leaves the keywords to others.
  if (con_.isInputConnector) return Outcome::kSkipped;
  const uint32_t args = option.argCount();
  const uint32_t used = args < con_.maxOutputCount ? args : con_.maxOutputCount;
  uint32_t ids[kMaxOptionArgs + 1] = {};  // 1-based
  for (uint32_t i = 1; i <= used; ++i) {
    ids[i] = readId(option, i);
    if (con_.find(ids[i]) == nullptr) return option.fault(kInvalidController, kOrderOptionLabel);
  }
  for (uint32_t id = 1; con_.find(id) != nullptr; ++id) con_.find(id)->outputIndex = 0;
  for (uint32_t i = 1; i <= used; ++i) con_.find(ids[i])->outputIndex = i;
  return Outcome::kAccepted;
}
