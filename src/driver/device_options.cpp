// The option phase of init: the device line and the device's own options.
#include <cstring>
#include <optional>

#include "common/option_kit.h"
#include "driver/motionstar.h"

namespace {

using optkit::Option;
using optkit::Outcome;

constexpr const char* kPrefix = "CMotionStar: ";
constexpr const char* kInvalidId = "Invalid ID found for ";
constexpr const char* kInvalidPort = "Invalid input port found for ";

const optkit::Word<Transport> kTransports[] = {{"tcp", Transport::kTcp}, {"udp", Transport::kUdp}};
const optkit::Word<AddressingMode> kAddressingModes[] = {{"normal", AddressingMode::kNormal},
                                                         {"expanded", AddressingMode::kExpanded},
                                                         {"super", AddressingMode::kSuper}};
const optkit::Word<SyncMode> kSyncModes[] = {
    {"yes", SyncMode::kType1},   {"on", SyncMode::kType1}, {"type1", SyncMode::kType1},
    {"type2", SyncMode::kType2}, {"no", SyncMode::kOff},   {"off", SyncMode::kOff}};
const optkit::Word<proto::Hemisphere> kHemispheres[] = {
    {"x", proto::Hemisphere::kPlusX},   {"+x", proto::Hemisphere::kPlusX},
    {"-x", proto::Hemisphere::kMinusX}, {"-z", proto::Hemisphere::kMinusZ},
    {"z", proto::Hemisphere::kPlusZ},   {"+z", proto::Hemisphere::kPlusZ},
    {"-y", proto::Hemisphere::kMinusY}, {"y", proto::Hemisphere::kPlusY},
    {"+y", proto::Hemisphere::kPlusY}};
// Compared as words, so "01" or "0x20" is not a rate.
const optkit::Word<proto::ReportRate> kReportRates[] = {{"1", proto::ReportRate::kEverySampling},
                                                        {"2", proto::ReportRate::kEveryOther},
                                                        {"8", proto::ReportRate::kEvery8},
                                                        {"32", proto::ReportRate::kEvery32}};

bool isSixDigits(const char* text) {
  for (int i = 0; i < 6; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return text[6] == '\0';
}

class DeviceOptionParser {
 public:
  explicit DeviceOptionParser(DeviceSettings& settings) : s_(settings) {}

  static const optkit::Keyword<DeviceOptionParser> kKeywords[];

  Outcome port(const Option& o);
  Outcome motionStarAddress(const Option& o);
  Outcome protocol(const Option& o);
  Outcome addressingMode(const Option& o) { return word(o, kAddressingModes, s_.addressingMode); }
  Outcome sync(const Option& o) { return word(o, kSyncModes, s_.syncMode); }
  Outcome filter(const Option& o);
  Outcome erc(const Option& o);
  Outcome hemisphere(const Option& o) { return word(o, kHemispheres, s_.hemisphere); }
  Outcome reportRate(const Option& o) { return word(o, kReportRates, s_.reportRate); }
  Outcome measurementRate(const Option& o);
  Outcome alphaMin(const Option& o) { return table(o, s_.alphaMin, s_.alphaMinGiven); }
  Outcome alphaMax(const Option& o) { return table(o, s_.alphaMax, s_.alphaMaxGiven); }
  Outcome vm(const Option& o) { return table(o, s_.vmTable, s_.vmGiven); }
  Outcome wanda(const Option& o);

 private:
  // One word of the option's list.
  template <class T, size_t N>
  static Outcome word(const Option& o, const optkit::Word<T> (&list)[N], T& value) {
    if (const char* phrase = o.countFault(1, 1)) return o.fault(phrase);
    const std::optional<T> found = optkit::readWord(list, o.arg(0));
    if (!found) return o.fault(optkit::kInvalidString);
    value = *found;
    return Outcome::kAccepted;
  }
  // Seven 16-bit numbers, stored one by one as they are read.
  static Outcome table(const Option& o, uint16_t* values, bool& given);

  DeviceSettings& s_;
};

const optkit::Keyword<DeviceOptionParser> DeviceOptionParser::kKeywords[] = {
    {"port", &DeviceOptionParser::port, "Port at line "},
    {"motionstaraddress", &DeviceOptionParser::motionStarAddress, "MotionstarAddress at line "},
    {"protocol", &DeviceOptionParser::protocol, "Protocol at line "},
    {"addressingmode", &DeviceOptionParser::addressingMode, "AddressingMode at line "},
    {"sync", &DeviceOptionParser::sync, "Sync at line "},
    {"filter", &DeviceOptionParser::filter, "Filter at line "},
    {"erc", &DeviceOptionParser::erc, "ERC at line "},
    {"hemisphere", &DeviceOptionParser::hemisphere, "Hemisphere at line "},
    {"reportrate", &DeviceOptionParser::reportRate, "ReportRate at line "},
    {"measurementrate", &DeviceOptionParser::measurementRate, "MeasurementRate at line "},
    {"alphamin", &DeviceOptionParser::alphaMin, "AlphaMin at line "},
    {"alphamax", &DeviceOptionParser::alphaMax, "AlphaMax at line "},
    {"vm", &DeviceOptionParser::vm, "VM at line "},
    {"wanda", &DeviceOptionParser::wanda, "wanda at line "},
};

Outcome DeviceOptionParser::port(const Option& o) {
  if (const char* phrase = o.countFault(1, 1)) return o.fault(phrase);
  const std::optional<int32_t> port = optkit::readInteger(o.arg(0));
  if (!port) return o.fault(optkit::kInvalidArg);
  s_.localPort = static_cast<uint16_t>(*port);
  return Outcome::kAccepted;
}

Outcome DeviceOptionParser::motionStarAddress(const Option& o) {
  if (const char* phrase = o.countFault(1, 1)) return o.fault(phrase);
  // The field holds 99 characters; a longer text is refused, not cut.
  if (std::strlen(o.arg(0)) >= sizeof s_.deviceAddress) return o.fault(optkit::kInvalidArg);
  std::strcpy(s_.deviceAddress, o.arg(0));
  return Outcome::kAccepted;
}

Outcome DeviceOptionParser::protocol(const Option& o) {
  const Outcome outcome = word(o, kTransports, s_.protocol);
  if (outcome == Outcome::kAccepted) s_.devicePort = devicePortFor(s_.protocol);
  return outcome;
}

Outcome DeviceOptionParser::filter(const Option& o) {
  if (const char* phrase = o.countFault(1, 1)) return o.fault(phrase);
  const std::optional<bool> on = optkit::readSwitch(o.arg(0));
  if (!on) return o.fault(optkit::kInvalidString);
  s_.filterOn = *on;
  return Outcome::kAccepted;
}

Outcome DeviceOptionParser::erc(const Option& o) {
  if (const char* phrase = o.countFault(1, 1)) return o.fault(phrase);
  const auto id = static_cast<uint32_t>(parseInt(o.arg(0)));
  if (id == 0 || id > s_.numDevices) return o.fault(kInvalidId);
  s_.ercId = id;
  return Outcome::kAccepted;
}

Outcome DeviceOptionParser::measurementRate(const Option& o) {
  if (const char* phrase = o.countFault(1, 1)) return o.fault(phrase);
  // The setup block takes exactly six digits; anything else would send a
  // terminator or stray bytes to the tracking system.
  if (!isSixDigits(o.arg(0))) return o.fault(optkit::kInvalidArg);
  std::memset(s_.measurementRate, 0, sizeof s_.measurementRate);
  std::memcpy(s_.measurementRate, o.arg(0), 6);
  return Outcome::kAccepted;
}

Outcome DeviceOptionParser::table(const Option& o, uint16_t* values, bool& given) {
  if (const char* phrase = o.countFault(proto::kFilterWords, proto::kFilterWords)) {
    return o.fault(phrase);
  }
  for (uint32_t i = 0; i < proto::kFilterWords; ++i) {
    const std::optional<int32_t> value = optkit::readInteger(o.arg(i));
    if (!value) return o.fault(optkit::kInvalidArg);
    values[i] = static_cast<uint16_t>(*value);
  }
  given = true;
  return Outcome::kAccepted;
}

Outcome DeviceOptionParser::wanda(const Option& o) {
  if (o.argCount() == 0) return o.fault(optkit::kIncomplete);
  const auto port = static_cast<uint16_t>(parseInt(o.arg(0)));
  if (port != 1 && port != 2) {
    o.fault(kInvalidPort, "wanda at line (must be 1 or 2) ");
    return Outcome::kFatal;
  }
  s_.wandaOn = true;
  s_.wandaAuxPort = port;
  return Outcome::kAccepted;
}

}  // namespace

bool CMotionStar::parseDeviceLine() {
  settings = DeviceSettings{};
  if (configEntry->deviceArgCount >= 1) {
    // A negative count reads as above 32.
    const auto count = static_cast<uint32_t>(parseInt(configEntry->deviceArgs[0]));
    if (count == 0 || count > kMaxElements) {
      optkit::FaultLine{log(), kPrefix}.report(optkit::kInvalidArg, "MotionStar at line ",
                                               configEntry->lineNumber);
      return false;
    }
    settings.numTrackers = count;
  }
  settings.numDevices = settings.numTrackers + 1;
  return true;
}

bool CMotionStar::parseDeviceOptions() {
  DeviceOptionParser parser(settings);
  const bool ok =
      optkit::parseOptions(*configEntry, DeviceOptionParser::kKeywords, parser, {log(), kPrefix});
  // An accepted wanda makes the device report controller data too.
  if (settings.wandaOn) dataKind = 1;
  return ok;
}
