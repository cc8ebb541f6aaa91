// parseOptions: the tracker options of a device's configuration entry.
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "common/option_kit.h"
#include "tracker/tra_common.h"

namespace {

using optkit::Option;
using optkit::Outcome;

constexpr const char* kInvalidId = "Invalid tracker ID found for ";
constexpr const char* kInvalidUnit = "Invalid unit found for ";

constexpr uint32_t kMaxCalibrationArgs = 11;  // the library and ten arguments
constexpr size_t kMaxLibraryName = sizeof(CTraCommonH::calibLibName) - 1;

// Length units and their factors to feet.
const optkit::Word<float> kUnits[] = {{"feet", 1.0f},
                                      {"inches", 0.0833333358f},
                                      {"meters", 3.28083992f},
                                      {"m", 3.28083992f},
                                      {"cm", 0.0328084007f}};

class OptionParser {
 public:
  explicit OptionParser(CTraCommonH& tra) : tra_(tra) {}

  bool run(ConfigEntry& entry);

 private:
  static const optkit::Keyword<OptionParser> kKeywords[];

  // After an earlier fault the transform options are only checked and
  // reported, neither applied nor marked, so that one run lists every
  // faulty line.
  Outcome transmitterOffset(const Option& o);
  Outcome transmitterRotation(const Option& o);
  Outcome transmitterRotationMatrix(const Option& o);
  Outcome sensorOffset(const Option& o) { return sensorOffsetLike(o, false); }
  Outcome sensorTranslation(const Option& o) { return sensorOffsetLike(o, true); }
  Outcome sensorRotation(const Option& o);
  Outcome sensorRotationMatrix(const Option& o);
  Outcome calibration(const Option& o);
  Outcome order(const Option& o);
  Outcome caveCoordinates(const Option& o);

  // Reads count numbers from args[first...]; reports the first invalid one.
  static bool readNumbers(const Option& o, uint32_t first, uint32_t count, float* values) {
    for (uint32_t k = 0; k < count; ++k) {
      const std::optional<float> value = optkit::readReal(o.arg(first + k));
      if (!value) {
        o.fault(optkit::kInvalidArg);
        return false;
      }
      values[k] = *value;
    }
    return true;
  }
  // The three lengths times the unit's factor, in feet; false (and a
  // report) when one of them grows past what single precision holds.
  static bool toFeet(const Option& o, const float* lengths, float factor, float* feet) {
    for (int k = 0; k < 3; ++k) {
      feet[k] = lengths[k] * factor;
      if (!std::isfinite(feet[k])) {
        o.fault(optkit::kInvalidArg);
        return false;
      }
    }
    return true;
  }
  // Reads the tracker ID in args[0]; 0 (and a report) when it names no tracker.
  uint32_t readTrackerId(const Option& o) const {
    const int32_t id = parseInt(o.arg(0));
    if (id < 1 || static_cast<uint32_t>(id) > tra_.trackerCount) {
      o.fault(kInvalidId);
      return 0;
    }
    return static_cast<uint32_t>(id);
  }
  // The sensor options' leading checks: an ID, then the argument count.
  uint32_t readSensorHead(const Option& o, uint32_t minArgs, uint32_t maxArgs) const;
  Outcome sensorOffsetLike(const Option& o, bool isTranslation);
  void rebuildTransmitter() {
    tra_.transmitterTransform = combineTransform(tra_.transmitterRotation, tra_.transmitterOffset);
  }
  static void rebuildSensor(TrackerRec& rec) {
    rec.sensorTransform = combineTransform(rec.sensorRotation, rec.sensorOffset);
  }

  CTraCommonH& tra_;
};

const optkit::Keyword<OptionParser> OptionParser::kKeywords[] = {
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
  return optkit::parseOptions(entry, kKeywords, *this, {tra_.logger().record(), ""});
}

Outcome OptionParser::transmitterOffset(const Option& o) {
  if (const char* phrase = o.countFault(3, 4)) return o.fault(phrase);
  float v[3];
  if (!readNumbers(o, 0, 3, v)) return Outcome::kFaulty;
  if (o.faultSeen()) return Outcome::kSkipped;
  float factor = 1.0f;
  if (o.argCount() == 4) {
    const std::optional<float> unit = optkit::readWord(kUnits, o.arg(3));
    if (!unit) return o.fault(optkit::kInvalidString);
    factor = *unit;
  }
  // A zero offset leaves the transmitter as it was. (Only all three zero:
  // an offset such as 1, -1, 0 is a real offset.)
  if (v[0] == 0.0f && v[1] == 0.0f && v[2] == 0.0f) return Outcome::kAccepted;
  float feet[3];
  if (!toFeet(o, v, factor, feet)) return Outcome::kFaulty;
  tra_.transmitterOffset = translationMatrix(feet[0], feet[1], feet[2]);
  rebuildTransmitter();
  tra_.hasTransmitterOffset = true;
  return Outcome::kAccepted;
}

Outcome OptionParser::transmitterRotation(const Option& o) {
  if (const char* phrase = o.countFault(4, 4)) return o.fault(phrase);
  float axis[3];
  if (!readNumbers(o, 0, 3, axis)) return Outcome::kFaulty;
  if (o.faultSeen()) return Outcome::kSkipped;
  float angle;
  if (!readNumbers(o, 3, 1, &angle)) return Outcome::kFaulty;
  tra_.transmitterRotation = axisAngleMatrix(axis[0], axis[1], axis[2], angle);
  rebuildTransmitter();
  tra_.hasTransmitterRotation = true;
  return Outcome::kAccepted;
}

Outcome OptionParser::transmitterRotationMatrix(const Option& o) {
  if (const char* phrase = o.countFault(9, 9)) return o.fault(phrase);
  float e[9];
  if (!readNumbers(o, 0, 9, e)) return Outcome::kFaulty;
  if (o.faultSeen()) return Outcome::kSkipped;
  tra_.transmitterRotation = rowMatrix3(e);
  rebuildTransmitter();
  tra_.hasTransmitterRotation = true;
  return Outcome::kAccepted;
}

uint32_t OptionParser::readSensorHead(const Option& o, uint32_t minArgs, uint32_t maxArgs) const {
  if (o.argCount() == 0) {
    o.fault(optkit::kIncomplete);
    return 0;
  }
  const uint32_t id = readTrackerId(o);
  if (id == 0) return 0;
  if (const char* phrase = o.countFault(minArgs, maxArgs)) {
    o.fault(phrase);
    return 0;
  }
  return id;
}

Outcome OptionParser::sensorOffsetLike(const Option& o, bool isTranslation) {
  const uint32_t id = readSensorHead(o, 4, 5);
  if (id == 0) return Outcome::kFaulty;
  float v[3];
  if (!readNumbers(o, 1, 3, v)) return Outcome::kFaulty;
  if (o.faultSeen()) return Outcome::kSkipped;
  float factor = 1.0f;
  if (o.argCount() == 5) {
    const std::optional<float> unit = optkit::readWord(kUnits, o.arg(4));
    if (!unit) return o.fault(kInvalidUnit);
    factor = *unit;
  }
  float feet[3];
  if (!toFeet(o, v, factor, feet)) return Outcome::kFaulty;
  TrackerRec& rec = tra_.trackers[id - 1];
  if (isTranslation) {
    for (int k = 0; k < 3; ++k) rec.sensorTranslation[k] = feet[k];
    rec.hasSensorTranslation = true;
  } else {
    rec.sensorOffset = translationMatrix(feet[0], feet[1], feet[2]);
    rebuildSensor(rec);
    rec.hasSensorOffset = true;
  }
  return Outcome::kAccepted;
}

Outcome OptionParser::sensorRotation(const Option& o) {
  const uint32_t id = readSensorHead(o, 5, 5);
  if (id == 0) return Outcome::kFaulty;
  float axis[3];
  if (!readNumbers(o, 1, 3, axis)) return Outcome::kFaulty;
  if (o.faultSeen()) return Outcome::kSkipped;
  float angle;
  if (!readNumbers(o, 4, 1, &angle)) return Outcome::kFaulty;
  TrackerRec& rec = tra_.trackers[id - 1];
  rec.sensorRotation = axisAngleMatrix(axis[0], axis[1], axis[2], angle);
  rebuildSensor(rec);
  rec.hasSensorRotation = true;
  return Outcome::kAccepted;
}

Outcome OptionParser::sensorRotationMatrix(const Option& o) {
  const uint32_t id = readSensorHead(o, 10, 10);
  if (id == 0) return Outcome::kFaulty;
  float e[9];
  if (!readNumbers(o, 1, 9, e)) return Outcome::kFaulty;
  if (o.faultSeen()) return Outcome::kSkipped;
  TrackerRec& rec = tra_.trackers[id - 1];
  rec.sensorRotation = rowMatrix3(e);
  rebuildSensor(rec);
  rec.hasSensorRotation = true;
  return Outcome::kAccepted;
}

Outcome OptionParser::calibration(const Option& o) {
  if (const char* phrase = o.countFault(1, kMaxCalibrationArgs)) return o.fault(phrase);
  // The name field holds 255 characters; a longer name would be cut into
  // another library's name.
  if (std::strlen(o.arg(0)) > kMaxLibraryName) return o.fault(optkit::kInvalidArg);

  std::strcpy(tra_.calibLibName, o.arg(0));
  tra_.calibArgCount = o.argCount() - 1;
  const char* args[kMaxCalibrationArgs - 1];
  for (uint32_t k = 0; k < tra_.calibArgCount; ++k) args[k] = o.arg(k + 1);
  if (tra_.calib) {
    tra_.calib.reset();  // unloads the earlier library
    tra_.calibArgs.clear();
  }
  tra_.calib.reset(new (std::nothrow) CCalibH(tra_.calibLibName, &tra_.logger().record()));
  tra_.calibArgs.assign(args, tra_.calibArgCount);
  return Outcome::kAccepted;
}

Outcome OptionParser::order(const Option& o) {
  if (tra_.isInputConnector) {
    return o.fault("Can not change the order on input connector at line ", "");
  }
  const uint32_t n = o.argCount() < tra_.maxOutputCount ? o.argCount() : tra_.maxOutputCount;
  uint32_t ids[kMaxOptionArgs];
  for (uint32_t k = 0; k < n; ++k) {
    const int32_t id = parseInt(o.arg(k));
    if (id < 1 || static_cast<uint32_t>(id) > tra_.trackerCount) return o.fault(kInvalidId);
    ids[k] = static_cast<uint32_t>(id);
  }
  for (uint32_t i = 0; i < tra_.trackerCount; ++i) tra_.trackers[i].outputIndex = 0;
  for (uint32_t k = 0; k < n; ++k) tra_.trackers[ids[k] - 1].outputIndex = k + 1;
  return Outcome::kAccepted;
}

Outcome OptionParser::caveCoordinates(const Option& o) {
  // Only an input connector takes the keyword; elsewhere it stays unmarked.
  if (!tra_.isInputConnector) return Outcome::kSkipped;
  if (const char* phrase = o.countFault(1, 1)) return o.fault(phrase);
  const std::optional<bool> on = optkit::readSwitch(o.arg(0));
  if (!on) return o.fault(optkit::kInvalidString);
  tra_.caveCoordinates = *on;
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
