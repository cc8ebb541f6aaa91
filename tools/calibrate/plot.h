// The picture of a check: error vectors before and after the correction in
// slices through the surveyed volume, and histograms of both, drawn by a
// small matplotlib script (tools/plot/field_errors.py) run with the system's
// Python 3.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_PLOT_H
#define MOTIONSTAR_TOOLS_CALIBRATE_PLOT_H

#include <string>
#include <vector>

#include "tools/calibrate/model_fit.h"
#include "tools/calibrate/survey_table.h"

namespace calibrate {

bool plotAvailable();
const char* plotUnavailableReason();

// Writes the PNG; false with *error when the script is missing or fails.
bool plotErrors(const std::string& png, const std::string& title,
                const std::vector<SurveyPair>& pairs, const PoseErrors& before,
                const PoseErrors& after, std::string* error);

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_PLOT_H
