// What every command prints the same way: errors and the table of errors.
#include <cstdio>

#include "tools/calibrate/commands.h"
#include "tools/calibrate/model_fit.h"

namespace calibrate {

int usageError(const std::string& message) {
  std::fprintf(stderr, "mstar-calibrate: %s\nTry 'mstar-calibrate --help'.\n", message.c_str());
  return kExitUsage;
}

int failure(const std::string& message) {
  std::fprintf(stderr, "mstar-calibrate: %s\n", message.c_str());
  return kExitFailed;
}

void printErrorHeading() {
  std::printf("%-12s %12s %10s %16s %10s\n", "", "position RMS", "max (in)", "orientation RMS",
              "max (deg)");
}

void printErrorRow(const std::string& label, const ErrorSummary& s) {
  std::printf("%-12s %12.3f %10.3f %16.3f %10.3f\n", label.c_str(), s.positionRms, s.positionMax,
              s.orientationRms, s.orientationMax);
}

}  // namespace calibrate
