// printInfo: the device's settings as labelled lines for the operator.
#include <iomanip>
#include <iostream>

#include "common/logger.h"
#include "driver/motionstar.h"
#include "tracker/tra_common.h"

namespace {

const char* addressingModeText(AddressingMode mode) {
  switch (mode) {
    case AddressingMode::kNormal:
      return "Normal";
    case AddressingMode::kExpanded:
      return "Expanded";
    case AddressingMode::kSuper:
      return "Super";
  }
  return "Unknown";
}

const char* hemisphereText(proto::Hemisphere hemisphere) {
  const char* name = proto::hemisphereName(static_cast<uint8_t>(hemisphere));
  return name != nullptr ? name : "Unknown";
}

const char* syncText(SyncMode mode) {
  switch (mode) {
    case SyncMode::kOff:
      return "Off";
    case SyncMode::kType1:
      return "Type1";
    case SyncMode::kType2:
      return "Type2";
  }
  return "Unknown";
}

const char* reportRateText(proto::ReportRate rate) {
  switch (rate) {
    case proto::ReportRate::kEverySampling:
      return "Every single sampling";
    case proto::ReportRate::kEveryOther:
      return "Every other sampling";
    case proto::ReportRate::kEvery8:
      return "Every 8 samplings";
    case proto::ReportRate::kEvery32:
      return "Every 32 samplings";
  }
  return "Unknown";
}

void tableLines(const CLogH& log, const char* label, const uint16_t* values) {
  for (size_t k = 1; k <= proto::kFilterWords; ++k) {
    logh::info(log, label, false);
    const char fill = std::cout.fill('0');
    std::cout << k << ": 0x" << std::hex << std::setw(4) << values[k - 1] << std::dec;
    std::cout.fill(fill);
    std::cout << std::endl;
  }
}

}  // namespace

bool CMotionStar::printInfo() {
  const CLogH& l = log();
  // The label goes through the logger; the value straight to standard output.
  auto line = [&l](const char* label, auto value) {
    logh::info(l, label, false);
    std::cout << value << std::endl;
  };
  line("DEVICE NAME           : ", deviceName ? deviceName.get() : "");
  logh::info(l, "DEVICE TYPE           : MotionStar(tm)");
  line("VERSION               : ", "5.5");
  logh::info(l, "DATA TYPE             : Tracker");
  line("MOTIONSTAR ADDRESS    : ", settings.deviceAddress);
  line("PROTOCOL              : ", settings.protocol == Transport::kTcp ? "TCP" : "UDP");
  line("LOCAL PORT            : ", settings.localPort);
  line("ADDRESSING MODE       : ", addressingModeText(settings.addressingMode));
  line("HEMISPHERE            : ", hemisphereText(settings.hemisphere));
  line("SYNC TYPE             : ", syncText(settings.syncMode));
  line("FILTER                : ", settings.filterOn ? "Used" : "Unused");
  line("MEASUREMENT RATE      : ", settings.measurementRate);
  line("REPORT RATE           : ", reportRateText(settings.reportRate));
  logh::info(l, "TRANSMITTER           : ", false);
  std::cout << "ERC on device ID:" << settings.ercId << std::endl;
  if (settings.alphaMinGiven) tableLines(l, "ALPHA MIN             : ", settings.alphaMin);
  if (settings.alphaMaxGiven) tableLines(l, "ALPHA MAX             : ", settings.alphaMax);
  if (settings.vmGiven) tableLines(l, "VM                    : ", settings.vmTable);
  if (settings.numDevices != 0) line("NUMBER OF DEVICES     : ", settings.numDevices);
  if (settings.numTrackers != 0) line("NUMBER OF TRACKERS    : ", settings.numTrackers);
  if (settings.wandaOn) line("WANDA ATTACHED ON AUX : ", settings.wandaAuxPort);
  if (trackerHelper) trackerHelper->printSettings(true);
  logh::info(l, "-----------------------");
  std::cout.flush();
  return true;
}
