// mstar-calibrate fit PAIRS -o MODEL: fits the correction, reports the
// cross-validated errors of each method and writes the model.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "calib/field/model_file.h"
#include "tools/calibrate/arguments.h"
#include "tools/calibrate/commands.h"
#include "tools/calibrate/model_fit.h"

namespace calibrate {

namespace {

constexpr int kMinimumPairs = 20;

}  // namespace

int runFit(const std::vector<std::string>& words) {
  Arguments args(words);
  std::string pairsPath, modelPath, value;
  bool methodGiven = false;
  field::Method method = field::Method::kRbf;
  long folds = 5, seed = 1;
  while (!args.done()) {
    const std::string word = args.take();
    if (word == "-o" || word == "--output") {
      if (!args.valueOf(word, &modelPath)) break;
    } else if (word == "--method") {
      if (!args.valueOf(word, &value)) break;
      if (!field::parseMethod(value, &method)) {
        args.fail("--method takes lut, poly or rbf, not \"" + value + "\"");
        break;
      }
      methodGiven = true;
    } else if (word == "--folds") {
      if (!args.valueOf(word, &value) || !args.whole(word, value, 2, 20, &folds)) break;
    } else if (word == "--seed") {
      if (!args.valueOf(word, &value) || !args.whole(word, value, 0, 2147483647, &seed)) break;
    } else if (word.size() > 1 && word[0] == '-') {
      args.fail("unknown option \"" + word + "\" for fit");
      break;
    } else if (pairsPath.empty()) {
      pairsPath = word;
    } else {
      args.fail("fit takes one pairs file, not also \"" + word + "\"");
      break;
    }
  }
  if (!args.error().empty()) return usageError(args.error());
  if (pairsPath.empty() || modelPath.empty()) return usageError("fit needs PAIRS and -o MODEL");

  std::vector<SurveyPair> pairs;
  std::string error;
  if (!readPairs(pairsPath, &pairs, &error)) return failure(error);
  if (pairs.size() < static_cast<size_t>(std::max<long>(kMinimumPairs, folds))) {
    return failure(pairsPath + ": " + std::to_string(pairs.size()) +
                   " pairs; a fit needs at least " +
                   std::to_string(std::max<long>(kMinimumPairs, folds)));
  }
  field::Box volume;
  if (!surveyVolume(pairs, &volume, &error)) return failure(pairsPath + ": " + error);

  std::printf(
      "%lu pairs from %s; measured positions within x %.2f .. %.2f, y %.2f .. %.2f, "
      "z %.2f .. %.2f ft\n",
      static_cast<unsigned long>(pairs.size()), pairsPath.c_str(), volume.min[0], volume.max[0],
      volume.min[1], volume.max[1], volume.min[2], volume.max[2]);
  std::printf("%ld-fold cross-validation (each pair corrected by a fit without it):\n", folds);
  printErrorHeading();
  printErrorRow("as measured", summarise(poseErrors(nullptr, pairs)));
  std::vector<field::Method> methods = {field::Method::kLut, field::Method::kPoly,
                                        field::Method::kRbf};
  if (methodGiven) methods = {method};
  const std::vector<MethodScore> scores =
      scoreMethods(pairs, volume, methods, static_cast<int>(folds), static_cast<uint32_t>(seed));
  for (const MethodScore& score : scores) {
    if (score.fitted) {
      printErrorRow(field::methodName(score.method), score.crossValidated);
    } else {
      std::printf("%-12s failed: %s\n", field::methodName(score.method), score.error.c_str());
    }
  }
  field::Method positionMethod, orientationMethod;
  if (!chooseMethods(scores, &positionMethod, &orientationMethod)) {
    return failure(pairsPath + ": " +
                   (methodGiven ? scores[0].error : "no method could be fitted"));
  }
  ModelFit fit;
  const auto started = std::chrono::steady_clock::now();
  if (!fitModel(pairs, volume, positionMethod, orientationMethod, &fit, &error)) {
    return failure(pairsPath + ": " + error);
  }
  const double milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();

  std::ostringstream comment;
  comment << "Fitted by mstar-calibrate from " << pairsPath << " (" << pairs.size() << " pairs).\n"
          << "Position: " << field::methodName(positionMethod) << ", " << fit.positionSetting
          << ".\nOrientation: " << field::methodName(orientationMethod) << ", "
          << fit.orientationSetting << ".";
  std::ofstream out(modelPath);
  if (out) writeModel(out, fit.model, comment.str());
  out.close();
  if (!out) return failure(modelPath + ": cannot write the model");
  std::printf("%s: position by %s (%s), orientation by %s (%s); fitted in %.0f ms\n",
              modelPath.c_str(), field::methodName(positionMethod), fit.positionSetting.c_str(),
              field::methodName(orientationMethod), fit.orientationSetting.c_str(), milliseconds);
  return kExitDone;
}

}  // namespace calibrate
