// The subcommands of mstar-calibrate. Each takes the words after its name
// and returns the exit status: 0 done, 1 a file could not be read or
// written, a fit failed or a survey could not go on, 2 a usage error
// (reported with the usage hint).
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_COMMANDS_H
#define MOTIONSTAR_TOOLS_CALIBRATE_COMMANDS_H

#include <string>
#include <vector>

namespace calibrate {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int runPlan(const std::vector<std::string>& words);
int runCollect(const std::vector<std::string>& words);
int runFit(const std::vector<std::string>& words);
int runCheck(const std::vector<std::string>& words);

// "mstar-calibrate: MESSAGE" and the hint to --help on standard error; 2.
int usageError(const std::string& message);
// "mstar-calibrate: MESSAGE" on standard error; 1.
int failure(const std::string& message);

// The table of errors the fit and check commands print (inches, degrees).
struct ErrorSummary;
void printErrorHeading();
void printErrorRow(const std::string& label, const ErrorSummary& summary);

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_COMMANDS_H
