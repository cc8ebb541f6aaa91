// printInfo: the device's settings as labelled lines for the operator.
#include <iomanip>
#include <iostream>

#include "common/logger.h"
#include "driver/motionstar.h"
#include "tracker/tra_common.h"

namespace {

const char* addressingModeText(int32_t mode) {
  switch (mode) {
    case 14:
      return "Normal";
    case 30:
      return "Expanded";
    case 126:
      return "Super";
    default:
      return "Unknown";
  }
}

const char* hemisphereText(uint8_t code) {
  static const char* const kNames[] = {"+X", "-X", "-Z", "+Z", "-Y", "+Y"};
  return code < 6 ? kNames[code] : "Unknown";
}

const char* syncText(int32_t mode) {
  switch (mode) {
    case 0:
      return "Off";
    case 1:
      return "Type1";
    case 2:
      return "Type2";
    default:
      return "Unknown";
  }
}

const char* reportRateText(uint8_t rate) {
  switch (rate) {
    case 1:
      return "Every single sampling";
    case 2:
      return "Every other sampling";
    case 8:
      return "Every 8 samplings";
    case 32:
      return "Every 32 samplings";
    default:
      return "Unknown";
  }
}

void tableLines(const CLogH& log, const char* label, const uint16_t* values) {
  for (int k = 1; k <= 7; ++k) {
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
  line("MOTIONSTAR ADDRESS    : ", deviceAddress);
  line("PROTOCOL              : ", protocol == 1 ? "TCP" : "UDP");
  line("LOCAL PORT            : ", localPort);
  line("ADDRESSING MODE       : ", addressingModeText(addressingMode));
  line("HEMISPHERE            : ", hemisphereText(hemisphere));
  line("SYNC TYPE             : ", syncText(syncMode));
  line("FILTER                : ", filterOn ? "Used" : "Unused");
  line("MEASUREMENT RATE      : ", measurementRate);
  line("REPORT RATE           : ", reportRateText(reportRate));
  logh::info(l, "TRANSMITTER           : ", false);
  std::cout << "ERC on device ID:" << ercId << std::endl;
  if (alphaMinGiven) tableLines(l, "ALPHA MIN             : ", alphaMin);
  if (alphaMaxGiven) tableLines(l, "ALPHA MAX             : ", alphaMax);
  if (vmGiven) tableLines(l, "VM                    : ", vmTable);
  if (numDevices != 0) line("NUMBER OF DEVICES     : ", numDevices);
  if (numTrackers != 0) line("NUMBER OF TRACKERS    : ", numTrackers);
  if (wandaOn) line("WANDA ATTACHED ON AUX : ", wandaAuxPort);
  if (trackerHelper) trackerHelper->printSettings(true);
  logh::info(l, "-----------------------");
  std::cout.flush();
  return true;
}
