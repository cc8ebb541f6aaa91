// mstar-calibrate check MODEL PAIRS: the errors of pairs before and after the
// model corrects them, and a plot of both.
#include <cstdio>

#include "calib/field/model_file.h"
#include "tools/calibrate/arguments.h"
#include "tools/calibrate/commands.h"
#include "tools/calibrate/model_fit.h"
#include "tools/calibrate/plot.h"

namespace calibrate {

namespace {

double reduction(double before, double after) {
  return before > 0 ? 100.0 * (before - after) / before : 0.0;
}

}  // namespace

int runCheck(const std::vector<std::string>& words) {
  Arguments args(words);
  std::string modelPath, pairsPath, plotPath;
  while (!args.done()) {
    const std::string word = args.take();
    if (word == "--plot") {
      if (!args.valueOf(word, &plotPath)) break;
    } else if (word.size() > 1 && word[0] == '-') {
      args.fail("unknown option \"" + word + "\" for check");
      break;
    } else if (modelPath.empty()) {
      modelPath = word;
    } else if (pairsPath.empty()) {
      pairsPath = word;
    } else {
      args.fail("check takes a model and one pairs file, not also \"" + word + "\"");
      break;
    }
  }
  if (!args.error().empty()) return usageError(args.error());
  if (pairsPath.empty()) return usageError("check needs MODEL and PAIRS");
  if (!plotPath.empty() && !plotAvailable()) {
    return usageError("--plot is not available in this build (" +
                      std::string(plotUnavailableReason()) + ")");
  }

  field::FieldModel model;
  std::vector<SurveyPair> pairs;
  std::string error;
  if (!field::readModel(modelPath, &model, &error) || !readPairs(pairsPath, &pairs, &error)) {
    return failure(error);
  }
  if (pairs.empty()) return failure(pairsPath + ": no pairs");
  size_t outside = 0;
  for (const SurveyPair& pair : pairs)
    outside += field::contains(model.volume, pair.measured.position) ? 0 : 1;

  const PoseErrors before = poseErrors(nullptr, pairs);
  const PoseErrors after = poseErrors(&model, pairs);
  const ErrorSummary b = summarise(before), a = summarise(after);
  std::printf("%s on %lu pairs of %s (%lu outside the model's volume, corrected as at its edge):\n",
              modelPath.c_str(), static_cast<unsigned long>(pairs.size()), pairsPath.c_str(),
              static_cast<unsigned long>(outside));
  printErrorHeading();
  printErrorRow("before", b);
  printErrorRow("after", a);
  std::printf("%-12s %11.0f%% %9.0f%% %15.0f%% %9.0f%%\n", "reduction",
              reduction(b.positionRms, a.positionRms), reduction(b.positionMax, a.positionMax),
              reduction(b.orientationRms, a.orientationRms),
              reduction(b.orientationMax, a.orientationMax));
  if (plotPath.empty()) return kExitDone;
  if (!plotErrors(plotPath, modelPath + " on " + pairsPath, pairs, before, after, &error)) {
    return failure(error);
  }
  std::printf("plot written to %s\n", plotPath.c_str());
  return kExitDone;
}

}  // namespace calibrate
