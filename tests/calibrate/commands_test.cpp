// The commands as a lab runs them: plan, fit (choosing the method), check
// with a plot, and the model the fit writes corrected by the calibration
// library itself.
#include "tools/calibrate/commands.h"

#include <gtest/gtest.h>

#include <fstream>

#include "command_run.h"
#include "known_field.h"
#include "motionstar/calibration.h"
#include "platform/child_process.h"
#include "platform/platform.h"
#include "tools/calibrate/model_fit.h"

namespace {

using calibrate::SurveyPair;

std::string writePairsFile(const std::string& name, const std::vector<SurveyPair>& pairs) {
  const std::string path = tempPath(name);
  std::ofstream out(path);
  calibrate::writePairs(out, pairs);
  return path;
}

bool matplotlibAvailable() {
#if defined(_WIN32)
  return false;
#else
  platform::ChildProcess python;
  if (!python.start({"/usr/bin/python3", "-c", "import matplotlib"}, true)) return false;
  std::string line;
  while (python.readLine(&line, 30000)) {
  }
  return python.wait(30000) == 0;
#endif
}

const field::Box kBox{{-3, -3, -3}, {3, 3, 3}};

TEST(Commands, APlanIsACsvOfTruePoses) {
  const std::string path = tempPath("plan.csv");
  const Outcome grid = run(calibrate::runPlan, {"grid", "--box", "-4,-3,-4,4,3,4", "--counts",
                                                "6,6,5", "--random-angles", "-o", path});
  ASSERT_EQ(grid.status, calibrate::kExitDone) << grid.err;
  std::ifstream in(path);
  std::vector<std::vector<double>> rows;
  std::string error;
  ASSERT_TRUE(calibrate::readCsvTable(in, path, {"x", "y", "z", "az", "el", "roll"}, &rows, &error))
      << error;
  ASSERT_EQ(rows.size(), 180u);
  EXPECT_EQ(rows[0][0], -4);
  EXPECT_EQ(rows[179][2], 4);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"grid", "--counts", "6,6,5"},
        {"grid", "--box", "-4,-3,-4,4,3,4", "--counts", "6,x,5"},
        {"grid", "--box", "4,-3,-4,-4,3,4", "--counts", "6,6,5"},
        {"scattered", "--box", "-4,-3,-4,4,3,4"},
        {"scattered", "--box", "-4,-3,-4,4,3,4", "--points", "90", "--counts", "6,6,5"},
        {"spiral"}}) {
    const Outcome r = run(calibrate::runPlan, bad);
    EXPECT_EQ(r.status, calibrate::kExitUsage) << bad[0];
    EXPECT_NE(r.err.find("Try 'mstar-calibrate --help'."), std::string::npos) << r.err;
  }
}

TEST(Commands, FitRefusesAPairsFileWithABadLineNamingTheLine) {
  std::string text = "mx,my,mz,maz,mel,mro,tx,ty,tz,taz,tel,tro\n";
  for (int i = 0; i < 30; ++i) text += "1,2,3,4,5,6,7,8,9,10,11,12\n";
  text += "1,2,3,4,5,6,7,8,9,10,11\n";
  const std::string pairs = tempPath("bad_line.csv");
  std::ofstream(pairs) << text;
  const Outcome r = run(calibrate::runFit, {pairs, "-o", tempPath("never.model")});
  EXPECT_EQ(r.status, calibrate::kExitFailed);
  EXPECT_EQ(r.err, "mstar-calibrate: " + pairs + ":32: expected 12 values, found 11\n");
  EXPECT_FALSE(std::ifstream(tempPath("never.model")).good());

  EXPECT_EQ(run(calibrate::runFit, {pairs}).status, calibrate::kExitUsage);
  EXPECT_EQ(run(calibrate::runFit, {pairs, "-o", "m", "--method", "spline"}).status,
            calibrate::kExitUsage);
  const std::string few = writePairsFile("few.csv", knownSurvey(kBox, 12, 1));
  const Outcome tooFew = run(calibrate::runFit, {few, "-o", tempPath("few.model")});
  EXPECT_EQ(tooFew.status, calibrate::kExitFailed);
  EXPECT_NE(tooFew.err.find("12 pairs; a fit needs at least 20"), std::string::npos) << tooFew.err;
}

TEST(Commands, TheChosenFitCorrectsThroughTheCalibrationLibrary) {
  const std::string pairs = writePairsFile("survey.csv", knownSurvey(kBox, 80, 11));
  const std::string model = tempPath("survey.model");
  const Outcome fit = run(calibrate::runFit, {pairs, "-o", model, "--folds", "3"});
  ASSERT_EQ(fit.status, calibrate::kExitDone) << fit.err;
  for (const char* row : {"as measured", "lut ", "poly ", "rbf ", "position by "}) {
    EXPECT_NE(fit.out.find(row), std::string::npos) << row << " in\n" << fit.out;
  }

  void* library = platform::libraryLoad(FIELD_CORRECTION_PATH);
  ASSERT_NE(library, nullptr);
  auto init = reinterpret_cast<CalibInitFn>(platform::librarySymbol(library, "calib_init"));
  auto evaluate =
      reinterpret_cast<CalibEvaluateFn>(platform::librarySymbol(library, "calib_evaluate"));
  auto exit = reinterpret_cast<CalibExitFn>(platform::librarySymbol(library, "calib_exit"));
  std::string argument = model;
  char* args[] = {argument.data(), nullptr};
  ::testing::internal::CaptureStderr();
  void* handle = init(args, 1);
  const std::string loaded = ::testing::internal::GetCapturedStderr();
  ASSERT_NE(handle, nullptr) << loaded;

  double before = 0, after = 0;
  const std::vector<SurveyPair> heldOut =
      knownSurvey({{-2.5, -2.5, -2.5}, {2.5, 2.5, 2.5}}, 200, 12);
  for (const SurveyPair& pair : heldOut) {
    TraPose pose = measuredPose(pair);
    evaluate(handle, &pose);
    const field::Vec3& t = pair.truth.position;
    const field::Vec3& m = pair.measured.position;
    for (int k = 0; k < 3; ++k) before += (m[k] - t[k]) * (m[k] - t[k]);
    after += (pose.x - t[0]) * (pose.x - t[0]) + (pose.y - t[1]) * (pose.y - t[1]) +
             (pose.z - t[2]) * (pose.z - t[2]);
  }
  exit(handle);
  platform::libraryFree(library);
  EXPECT_LT(after, 0.01 * 0.01 * before);  // RMS below 1% of the distortion's
}

TEST(Commands, CheckReportsBeforeAndAfterAndDrawsThePlot) {
  const std::string pairs = writePairsFile("check_survey.csv", knownSurvey(kBox, 100, 21));
  const std::string heldOut = writePairsFile("check_held_out.csv", knownSurvey(kBox, 100, 22));
  const std::string model = tempPath("check.model");
  ASSERT_EQ(run(calibrate::runFit, {pairs, "-o", model, "--method", "poly"}).status, 0);
  const Outcome check = run(calibrate::runCheck, {model, heldOut});
  ASSERT_EQ(check.status, calibrate::kExitDone) << check.err;
  EXPECT_NE(check.out.find("on 100 pairs of " + heldOut), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("\nbefore "), std::string::npos);
  EXPECT_NE(check.out.find("\nafter "), std::string::npos);
  EXPECT_NE(check.out.find("\nreduction "), std::string::npos);

  std::ofstream(tempPath("cut.model")) << "motionstar-field-model 1\nvolume 0 0 0 1 1 1\n";
  const Outcome cut = run(calibrate::runCheck, {tempPath("cut.model"), heldOut});
  EXPECT_EQ(cut.status, calibrate::kExitFailed);
  EXPECT_EQ(cut.err, "mstar-calibrate: " + tempPath("cut.model") +
                         ": the file ends after line 2; expected \"position METHOD\"\n");

  if (!matplotlibAvailable()) GTEST_SKIP() << "no /usr/bin/python3 with matplotlib here";
  const std::string png = tempPath("check.png");
  std::remove(png.c_str());
  const Outcome plot = run(calibrate::runCheck, {model, heldOut, "--plot", png});
  ASSERT_EQ(plot.status, calibrate::kExitDone) << plot.err;
  std::ifstream image(png, std::ios::binary);
  char signature[8] = {};
  image.read(signature, 8);
  EXPECT_EQ(std::string(signature + 1, 3), "PNG");
  EXPECT_FALSE(std::ifstream(png + ".data.csv").good());  // the script's data is gone
}

}  // namespace
