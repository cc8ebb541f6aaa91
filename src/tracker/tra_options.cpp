// parseOptions: the tracker options of a device's configuration entry.
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/config.h"
#include "tracker/tra_common.h"

namespace {

constexpr const char* kIncomplete = "Incomplete option line found for ";
constexpr const char* kTooMany = "Too many args found for ";
constexpr const char* kInvalidArg = "Invalid arg found for ";
constexpr const char* kInvalidId = "Invalid tracker ID found for ";
constexpr const char* kInvalidUnit = "Invalid unit found for ";
constexpr const char* kInvalidString = "Invalid string found for ";

constexpr uint32_t kMaxCalibrationArgs = 11;  // the library and ten arguments
constexpr size_t kMaxLibraryName = sizeof(CTraCommonH::calibLibName) - 1;

// Factor to feet of a length unit; false for an unknown unit.
bool unitFactor(const char* unit, float& factor) {
  static const struct {
    const char* name;
    float factor;
  } kUnits[] = {{"feet", 1.0f},
                {"inches", 0.0833333358f},
                {"meters", 3.28083992f},
                {"m", 3.28083992f},
                {"cm", 0.0328084007f}};
  for (const auto& u : kUnits) {
    if (compareNoCase(unit, u.name) == 0) {
      factor = u.factor;
      return true;
    }
  }
  return false;
}

// strtod, kept in single precision; a word (a zero that starts with a
// letter) is refused, while "1.5cm" reads as 1.5 and "+x" as 0.
bool readNumber(const char* text, float& value) {
  const double v = std::strtod(text, nullptr);
  if (v == 0.0 && startsWithLetter(text)) return false;
  value = static_cast<float>(v);
  return true;
}

enum class Outcome {
  kAccepted,  // applied and marked
  kChecked,   // passed its checks after an earlier fault: neither applied nor marked
  kFailed,    // reported
};

class OptionParser {
 public:
  explicit OptionParser(CTraCommonH& tra) : tra_(tra) {}

  bool run(ConfigEntry& entry);

 private:
  using Handler = Outcome (OptionParser::*)(const OptionRecord&);
  struct Keyword {
    const char* name;
    Handler handler;
    const char* label;
  };
  static const Keyword kKeywords[];

  Outcome transmitterOffset(const OptionRecord& o);
  Outcome transmitterRotation(const OptionRecord& o);
  Outcome transmitterRotationMatrix(const OptionRecord& o);
  Outcome sensorOffset(const OptionRecord& o);
  Outcome sensorTranslation(const OptionRecord& o);
  Outcome sensorRotation(const OptionRecord& o);
  Outcome sensorRotationMatrix(const OptionRecord& o);
  Outcome calibration(const OptionRecord& o);
  Outcome order(const OptionRecord& o);
  Outcome caveCoordinates(const OptionRecord& o);

  Outcome fail(const OptionRecord& o, const char* phrase) {
    reportOptionFault(tra_.logger().record(), "", phrase, label_, o.lineNumber);
    return Outcome::kFailed;
  }
  // Reads count numbers from args[first...]; reports the first invalid one.
  bool readNumbers(const OptionRecord& o, uint32_t first, uint32_t count, float* values) {
    for (uint32_t k = 0; k < count; ++k) {
      if (!readNumber(o.args[first + k], values[k])) {
        fail(o, kInvalidArg);
        return false;
      }
    }
    return true;
  }
  // Reads the tracker ID in args[0]; 0 (and a report) when it names no tracker.
  uint32_t readTrackerId(const OptionRecord& o) {
    const int32_t id = parseInt(o.args[0]);
    if (id < 1 || static_cast<uint32_t>(id) > tra_.trackerCount) {
      fail(o, kInvalidId);
      return 0;
    }
    return static_cast<uint32_t>(id);
  }
  // The sensor options' leading checks: an ID, then the argument count.
  uint32_t readSensorHead(const OptionRecord& o, uint32_t minArgs, uint32_t maxArgs);
  Outcome sensorOffsetLike(const OptionRecord& o, bool isTranslation);
  void rebuildTransmitter() {
    tra_.transmitterTransform = combineTransform(tra_.transmitterRotation, tra_.transmitterOffset);
  }
  static void rebuildSensor(TrackerRec& rec) {
    rec.sensorTransform = combineTransform(rec.sensorRotation, rec.sensorOffset);
  }

  CTraCommonH& tra_;
  const char* label_ = "";
  // From the first fault on, transform options are only checked and
  // reported, so that one run lists every faulty line.
  bool faultSeen_ = false;
};

const OptionParser::Keyword OptionParser::kKeywords[] = {
    {"transmitteroffset", &OptionParser::transmitterOffset, "TransmitterOffset at line "},
    {"transmitterrotation", &OptionParser::transmitterRotation, "TransmitterRotation at line "},
    {"transmitterrotationmatrix", &OptionParser::transmitterRotationMatrix,
     "TransmitterRotationMatrix at line "},
    {"sensoroffset", &OptionParser::sensorOffset, "SensorOffset at line "},
    {"sensortranslation", &OptionParser::sensorTranslation, "SensorTranslation at line "},
    {"sensorrotation", &OptionParser::sensorRotation, "SensorRotation at line "},
    {"sensorrotationmatrix", &OptionParser::sensorRotationMatrix, "SensorRotationMatrix at line "},
    {"calibration", &OptionParser::calibration, "Calibration at line "},
    {"calib", &OptionParser::calibration, "Calibration at line "},
    {"trackerorder", &OptionParser::order, "Order at line "},
    {"unitorder", &OptionParser::order, "Order at line "},
    {"order", &OptionParser::order, "Order at line "},
    {"cavecoord", &OptionParser::caveCoordinates, "CAVECoord at line "},
    {"cavecoordinates", &OptionParser::caveCoordinates, "CAVECoord at line "},
};

bool OptionParser::run(ConfigEntry& entry) {
  // The entry holds room for 32 records; a larger count or a record without
  // a name is the entry check's to report, and is never walked here.
  const uint32_t count =
      entry.optionCount < uint32_t{kMaxOptions} ? entry.optionCount : uint32_t{kMaxOptions};
  for (uint32_t i = 0; i < count; ++i) {
    OptionRecord& option = entry.options[i];
    if (option.name == nullptr) continue;
    for (const Keyword& keyword : kKeywords) {
      if (compareNoCase(option.name, keyword.name) != 0) continue;
      if (keyword.handler == &OptionParser::caveCoordinates && !tra_.isInputConnector) break;
      label_ = keyword.label;
      const Outcome outcome = (this->*keyword.handler)(option);
      if (outcome == Outcome::kAccepted) option.recognised = 1;
      if (outcome == Outcome::kFailed) faultSeen_ = true;
      break;
    }
  }
  return !faultSeen_;
}

Outcome OptionParser::transmitterOffset(const OptionRecord& o) {
  if (o.argCount < 3) return fail(o, kIncomplete);
  if (o.argCount > 4) return fail(o, kTooMany);
  float v[3];
  if (!readNumbers(o, 0, 3, v)) return Outcome::kFailed;
  if (faultSeen_) return Outcome::kChecked;
  float factor = 1.0f;
  if (o.argCount == 4 && !unitFactor(o.args[3], factor)) return fail(o, kInvalidString);
  // A zero offset leaves the transmitter as it was. (Only all three zero:
  // an offset such as 1, -1, 0 is a real offset.)
  if (v[0] == 0.0f && v[1] == 0.0f && v[2] == 0.0f) return Outcome::kAccepted;
  tra_.transmitterOffset = translationMatrix(v[0] * factor, v[1] * factor, v[2] * factor);
  rebuildTransmitter();
  tra_.hasTransmitterOffset = true;
  return Outcome::kAccepted;
}

Outcome OptionParser::transmitterRotation(const OptionRecord& o) {
  if (o.argCount < 4) return fail(o, kIncomplete);
  if (o.argCount > 4) return fail(o, kTooMany);
  float axis[3];
  if (!readNumbers(o, 0, 3, axis)) return Outcome::kFailed;
  if (faultSeen_) return Outcome::kChecked;
  float angle;
  if (!readNumbers(o, 3, 1, &angle)) return Outcome::kFailed;
  tra_.transmitterRotation = axisAngleMatrix(axis[0], axis[1], axis[2], angle);
  rebuildTransmitter();
  tra_.hasTransmitterRotation = true;
  return Outcome::kAccepted;
}

Outcome OptionParser::transmitterRotationMatrix(const OptionRecord& o) {
  if (o.argCount < 9) return fail(o, kIncomplete);
  if (o.argCount > 9) return fail(o, kTooMany);
  float e[9];
  if (!readNumbers(o, 0, 9, e)) return Outcome::kFailed;
  if (faultSeen_) return Outcome::kChecked;
  tra_.transmitterRotation = rowMatrix3(e);
  rebuildTransmitter();
  tra_.hasTransmitterRotation = true;
  return Outcome::kAccepted;
}

uint32_t OptionParser::readSensorHead(const OptionRecord& o, uint32_t minArgs, uint32_t maxArgs) {
  if (o.argCount == 0) {
    fail(o, kIncomplete);
    return 0;
  }
  const uint32_t id = readTrackerId(o);
  if (id == 0) return 0;
  if (o.argCount < minArgs) {
    fail(o, kIncomplete);
    return 0;
  }
  if (o.argCount > maxArgs) {
    fail(o, kTooMany);
    return 0;
  }
  return id;
}

Outcome OptionParser::sensorOffsetLike(const OptionRecord& o, bool isTranslation) {
  const uint32_t id = readSensorHead(o, 4, 5);
  if (id == 0) return Outcome::kFailed;
  float v[3];
  if (!readNumbers(o, 1, 3, v)) return Outcome::kFailed;
  if (faultSeen_) return Outcome::kChecked;
  float factor = 1.0f;
  if (o.argCount == 5 && !unitFactor(o.args[4], factor)) return fail(o, kInvalidUnit);
  TrackerRec& rec = tra_.trackers[id - 1];
  if (isTranslation) {
    for (int k = 0; k < 3; ++k) rec.sensorTranslation[k] = v[k] * factor;
    rec.hasSensorTranslation = true;
  } else {
    rec.sensorOffset = translationMatrix(v[0] * factor, v[1] * factor, v[2] * factor);
    rebuildSensor(rec);
    rec.hasSensorOffset = true;
  }
  return Outcome::kAccepted;
}

Outcome OptionParser::sensorOffset(const OptionRecord& o) {
  return sensorOffsetLike(o, false);
}

Outcome OptionParser::sensorTranslation(const OptionRecord& o) {
  return sensorOffsetLike(o, true);
}

Outcome OptionParser::sensorRotation(const OptionRecord& o) {
  const uint32_t id = readSensorHead(o, 5, 5);
  if (id == 0) return Outcome::kFailed;
  float axis[3];
  if (!readNumbers(o, 1, 3, axis)) return Outcome::kFailed;
  if (faultSeen_) return Outcome::kChecked;
  float angle;
  if (!readNumbers(o, 4, 1, &angle)) return Outcome::kFailed;
  TrackerRec& rec = tra_.trackers[id - 1];
  rec.sensorRotation = axisAngleMatrix(axis[0], axis[1], axis[2], angle);
  rebuildSensor(rec);
  rec.hasSensorRotation = true;
  return Outcome::kAccepted;
}

Outcome OptionParser::sensorRotationMatrix(const OptionRecord& o) {
  const uint32_t id = readSensorHead(o, 10, 10);
  if (id == 0) return Outcome::kFailed;
  float e[9];
  if (!readNumbers(o, 1, 9, e)) return Outcome::kFailed;
  if (faultSeen_) return Outcome::kChecked;
  TrackerRec& rec = tra_.trackers[id - 1];
  rec.sensorRotation = rowMatrix3(e);
  rebuildSensor(rec);
  rec.hasSensorRotation = true;
  return Outcome::kAccepted;
}

Outcome OptionParser::calibration(const OptionRecord& o) {
  if (o.argCount == 0) return fail(o, kIncomplete);
  if (o.argCount > kMaxCalibrationArgs) return fail(o, kTooMany);
  // The name field holds 255 characters; a longer name would be cut into
  // another library's name.
  if (std::strlen(o.args[0]) > kMaxLibraryName) return fail(o, kInvalidArg);

  std::strcpy(tra_.calibLibName, o.args[0]);
  tra_.calibArgCount = o.argCount - 1;
  if (tra_.calib) {
    tra_.calib.reset();  // unloads the earlier library
    tra_.calibArgs.clear();
  }
  tra_.calib.reset(new (std::nothrow) CCalibH(tra_.calibLibName, &tra_.logger().record()));
  tra_.calibArgs.assign(o.args + 1, tra_.calibArgCount);
  return Outcome::kAccepted;
}

Outcome OptionParser::order(const OptionRecord& o) {
  if (tra_.isInputConnector) {
    reportOptionFault(tra_.logger().record(), "",
                      "Can not change the order on input connector at line ", "", o.lineNumber);
    return Outcome::kFailed;
  }
  uint32_t n = o.argCount < tra_.maxOutputCount ? o.argCount : tra_.maxOutputCount;
  if (n > uint32_t{kMaxOptionArgs}) n = kMaxOptionArgs;
  uint32_t ids[kMaxOptionArgs];
  for (uint32_t k = 0; k < n; ++k) {
    const int32_t id = parseInt(o.args[k]);
    if (id < 1 || static_cast<uint32_t>(id) > tra_.trackerCount) return fail(o, kInvalidId);
    ids[k] = static_cast<uint32_t>(id);
  }
  for (uint32_t i = 0; i < tra_.trackerCount; ++i) tra_.trackers[i].outputIndex = 0;
  for (uint32_t k = 0; k < n; ++k) tra_.trackers[ids[k] - 1].outputIndex = k + 1;
  return Outcome::kAccepted;
}

Outcome OptionParser::caveCoordinates(const OptionRecord& o) {
  if (o.argCount == 0) return fail(o, kIncomplete);
  if (o.argCount > 1) return fail(o, kTooMany);
  const char* value = o.args[0];
  if (compareNoCase(value, "yes") == 0 || compareNoCase(value, "on") == 0) {
    tra_.caveCoordinates = true;
  } else if (compareNoCase(value, "no") == 0 || compareNoCase(value, "off") == 0) {
    tra_.caveCoordinates = false;
  } else {
    return fail(o, kInvalidString);
  }
  return Outcome::kAccepted;
}

}  // namespace

bool CTraCommonH::parseOptions(ConfigEntry* entry) {
  if (!trackers) {
    logger_.error("CTraCommonH: lookup is Null.");
    return false;
  }
  if (entry == nullptr) {
    logger_.error("CTraCommonH: config is empty.");
    return false;
  }
  return OptionParser(*this).run(*entry);
}
