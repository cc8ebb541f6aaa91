// printSettings: the tracker settings report. Every line opens with an INFO
// head carrying a 23-character label; the rest goes straight to standard
// output.
#include <iomanip>
#include <iostream>

#include "tracker/tra_common.h"

namespace {

constexpr const char* kContinuation = "                      :";

// " [r][c]:" and the element in a 6-wide field, fixed with 3 decimals. The
// format stays in force for the rest of the report, so its later positions
// print the same way.
void printRow(const Matrix4& matrix, int row) {
  for (int col = 0; col < 3; ++col) {
    std::cout << " [" << row << "][" << col << "]:" << std::fixed << std::setprecision(3)
              << std::setw(6) << matrix.m[row][col];
  }
}

// Three rows of the upper-left 3 x 3, the first under head, then an empty line.
// A tracker number (when not 0) precedes the elements of each row.
void printMatrix(const Logger& log, const char* head, const Matrix4& matrix, uint32_t tracker) {
  for (int row = 0; row < 3; ++row) {
    log.info(row == 0 ? head : kContinuation, false);
    if (tracker != 0) std::cout << " " << tracker;
    printRow(matrix, row);
    std::cout << std::endl;
  }
  std::cout << std::endl;
}

void printOffset(const Matrix4& offset) {
  std::cout << " X:" << offset.m[0][3] << " Y:" << offset.m[1][3] << " Z:" << offset.m[2][3]
            << std::endl;
}

// Standard output's number format as it was before the report: the fixed
// notation the matrices set must not change how anything printed after the
// report (another device's report included) reads.
class CoutFormatKeeper {
 public:
  CoutFormatKeeper() : flags_(std::cout.flags()), precision_(std::cout.precision()) {}
  ~CoutFormatKeeper() {
    std::cout.flags(flags_);
    std::cout.precision(precision_);
  }
  CoutFormatKeeper(const CoutFormatKeeper&) = delete;
  CoutFormatKeeper& operator=(const CoutFormatKeeper&) = delete;

 private:
  std::ios::fmtflags flags_;
  std::streamsize precision_;
};

}  // namespace

bool CTraCommonH::printSettings(bool printCaveLine) {
  const CoutFormatKeeper keeper;
  const Logger& log = logger_;
  if (printCaveLine) {
    log.info(caveCoordinates ? "CAVE COORDINATES      : Used" : "CAVE COORDINATES      : Unused");
  }
  if (hasTransmitterOffset) {
    log.info("TRANSMITTER OFFSET    :", false);
    printOffset(transmitterOffset);
  }
  if (hasTransmitterRotation) {
    printMatrix(log, "TRANSMITTER ROTATION  :", transmitterRotation, 0);
  }
  if (hasTransmitterOffset || hasTransmitterRotation) {
    printMatrix(log, "TRANSMITTER TRANSFORM :", transmitterTransform, 0);
  }

  log.info("TRACKER ORDER         : <Real tra> -> <Output tra>");
  log.info(kContinuation, false);
  for (uint32_t i = 1; i <= trackerCount; ++i) {
    const TrackerRec& rec = trackers[i - 1];
    if (rec.outputIndex != 0) std::cout << " " << i << "->" << rec.outputIndex + outputIdBase;
  }
  std::cout << std::endl;

  for (uint32_t i = 1; i <= trackerCount; ++i) {
    const TrackerRec& rec = trackers[i - 1];
    if (rec.outputIndex == 0) continue;
    if (rec.hasSensorOffset) {
      log.info("SENSOR OFFSET         :", false);
      std::cout << " " << i;
      printOffset(rec.sensorOffset);
    }
    if (rec.hasSensorRotation) printMatrix(log, "SENSOR ROTATION       :", rec.sensorRotation, i);
    if (rec.hasSensorOffset || rec.hasSensorRotation) {
      printMatrix(log, "SENSOR TRANSFORM      :", rec.sensorTransform, i);
    }
  }

  if (calib) {
    log.info("CALIBRATION LIBRARY   :", false);
    std::cout << " name:" << calibLibName << std::endl;
    for (uint32_t k = 0; k < calibArgCount; ++k) {
      log.info(kContinuation, false);
      std::cout << " arg[" << k << "]:" << calibArgs.data()[k] << std::endl;
    }
  }
  return true;
}
