// Surveys through the driver: collect on the simulated room, and the whole
// chain from distortion to corrected published poses.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "command_run.h"
#include "sim/distortion.h"
#include "sim/simulator.h"
#include "tools/calibrate/commands.h"
#include "tools/calibrate/model_fit.h"
#include "tools/calibrate/survey_plan.h"
#include "tools/calibrate/survey_reader.h"

namespace {

using calibrate::PoseRow;
using calibrate::SurveyPair;

std::string writeFile(const std::string& name, const std::string& text) {
  const std::string path = tempPath(name);
  std::ofstream(path) << text;
  return path;
}

std::vector<SurveyPair> readPairsOrFail(const std::string& path) {
  std::vector<SurveyPair> pairs;
  std::string error;
  EXPECT_TRUE(calibrate::readPairs(path, &pairs, &error)) << error;
  return pairs;
}

TEST(Collect, AveragesOrientationsAsRotationsAcrossTheAzimuthSeam) {
  const calibrate::AveragedPose a =
      calibrate::averagePoses({{{1, 2, 3}, {179, 10, -179}}, {{1, 2, 5}, {-179, 10, 179}}});
  EXPECT_NEAR(a.mean.position[2], 4.0, 1e-12);
  EXPECT_NEAR(std::fabs(a.mean.angles[0]), 180.0, 1e-6);  // not 0, as the angles' mean would be
  EXPECT_NEAR(std::fabs(a.mean.angles[2]), 180.0, 1e-6);
  EXPECT_NEAR(a.positionSpread, 12.0, 1e-9);  // each 1 ft from the mean
  EXPECT_GT(a.orientationSpread, 0.5);
  EXPECT_LT(a.orientationSpread, 2.5);
  EXPECT_EQ(a.readings, 2u);
}

TEST(Collect, ReadsTheSurveyedTrackerAsTheDevicePublishesIt) {
  // Without distortion the device publishes where the sensor was placed:
  // the plan's frame is the driver's. Tracker 2 of a bus whose ERC sits
  // between the sensors; the calibration line (a library that cannot load)
  // is left out of the survey, the room comes from the device's block.
  const std::string plan = writeFile("exact_plan.csv",
                                     "x,y,z,az,el,roll\n"
                                     "# comment\n"
                                     "1,2,-3,170,-45,-100\n"
                                     "-4.5,0.25,4,-20,80,30\n");
  const std::string config = writeFile("exact.conf",
                                       "device room motionstar 2\n"
                                       "erc 2\n"
                                       "calibration /nonexistent/library.so\n"
                                       "simulatordistortion 9,0\n");
  const std::string pairsPath = tempPath("exact_pairs.csv");
  const Outcome r = run(calibrate::runCollect,
                        {plan, "-o", pairsPath, "--config", config, "--simulate", "--tracker", "2",
                         "--readings", "8", "--simulator-address", "127.0.0.33"});
  ASSERT_EQ(r.status, calibrate::kExitDone) << r.err;
  EXPECT_NE(r.err.find(config + ":3: calibration left out"), std::string::npos) << r.err;
  const std::vector<SurveyPair> pairs = readPairsOrFail(pairsPath);
  ASSERT_EQ(pairs.size(), 2u);
  for (const SurveyPair& pair : pairs) {
    // Off by no more than quantisation and the still sensor's jitter can
    // make it: 9.5 counts a word at most (0.042 in, 0.052 degrees an angle).
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(pair.measured.position[k], pair.truth.position[k], 0.045 / 12) << k;
    }
    const field::Quaternion measured = field::fromAngles(
        pair.measured.angles[0], pair.measured.angles[1], pair.measured.angles[2]);
    const field::Quaternion truth =
        field::fromAngles(pair.truth.angles[0], pair.truth.angles[1], pair.truth.angles[2]);
    EXPECT_LT(field::angleBetween(measured, truth), 0.1);
  }
  std::ifstream in(pairsPath);
  std::string comment, header;
  std::getline(in, comment);
  std::getline(in, header);
  EXPECT_EQ(header, "mx,my,mz,maz,mel,mro,tx,ty,tz,taz,tel,tro,spos,sang,n");
}

TEST(Collect, RefusesWhatCannotBeSurveyed) {
  const std::string plan =
      writeFile("bad_plan.csv", "x,y,z,az,el,roll\n1,2,3,4,5,6\n1,2,x,4,5,6\n");
  const Outcome badPlan = run(calibrate::runCollect, {plan, "-o", tempPath("p"), "--simulate"});
  EXPECT_EQ(badPlan.status, calibrate::kExitFailed);
  EXPECT_EQ(badPlan.err, "mstar-calibrate: " + plan + ":3: z is not a finite number: \"x\"\n");

  const std::string good = writeFile("one_plan.csv", "x,y,z,az,el,roll\n1,2,3,4,5,6\n");
  const Outcome noDevice = run(calibrate::runCollect, {good, "-o", tempPath("p")});
  EXPECT_EQ(noDevice.status, calibrate::kExitUsage);
  EXPECT_NE(noDevice.err.find("collect needs --config FILE"), std::string::npos);
  EXPECT_EQ(run(calibrate::runCollect, {good, "--simulate"}).status, calibrate::kExitUsage);
  EXPECT_EQ(
      run(calibrate::runCollect, {good, "-o", "p", "--simulate", "--distortion", "1,99"}).status,
      calibrate::kExitUsage);

  const Outcome noTracker =
      run(calibrate::runCollect, {good, "-o", tempPath("p"), "--simulate", "--tracker", "2"});
  EXPECT_EQ(noTracker.status, calibrate::kExitFailed);
  EXPECT_EQ(noTracker.err, "mstar-calibrate: device \"survey\" has 1 trackers, not 2\n");

  // 20 ft is beyond the 12 ft the unit can report.
  const std::string far = writeFile("far_plan.csv", "x,y,z,az,el,roll\n20,0,0,0,0,0\n");
  const Outcome beyond = run(calibrate::runCollect, {far, "-o", tempPath("p"), "--simulate",
                                                     "--simulator-address", "127.0.0.35"});
  EXPECT_EQ(beyond.status, calibrate::kExitFailed);
  EXPECT_NE(beyond.err.find("pose 1: cannot place unit 2"), std::string::npos) << beyond.err;
}

// The room distorts, collect surveys it through the module, fit models it,
// and the module configured with the model publishes poses close to the
// truth at points the survey never visited.
TEST(Collect, WholeChainCorrectsTheRoomThroughTheModule) {
  const std::string plan = tempPath("chain_plan.csv");
  const Outcome planned = run(calibrate::runPlan, {"grid", "--box", "-4,-3,-4,4,3,4", "--counts",
                                                   "6,6,5", "--random-angles", "-o", plan});
  ASSERT_EQ(planned.status, calibrate::kExitDone) << planned.err;
  const std::string pairs = tempPath("chain_pairs.csv");
  const Outcome collected = run(calibrate::runCollect,
                                {plan, "-o", pairs, "--simulate", "--distortion", "1", "--readings",
                                 "10", "--rate", "1000", "--simulator-address", "127.0.0.34"});
  ASSERT_EQ(collected.status, calibrate::kExitDone) << collected.err;
  const std::string model = tempPath("chain.model");
  // One method and two folds keep the fit quick under emulation; choosing
  // among the methods is the fit command's own test.
  const Outcome fitted =
      run(calibrate::runFit, {pairs, "-o", model, "--method", "rbf", "--folds", "2"});
  ASSERT_EQ(fitted.status, calibrate::kExitDone) << fitted.err;

  // Held-out true poses inside the survey, within 6 ft of the transmitter.
  std::vector<PoseRow> heldOut;
  for (const PoseRow& pose :
       calibrate::scatteredPlan({{-3.5, -2.5, -3.5}, {3.5, 2.5, 3.5}}, 24, {true, {0, 0, 0}}, 77)) {
    const field::Vec3& p = pose.position;
    if (p[0] * p[0] + p[1] * p[1] + p[2] * p[2] <= 36.0) heldOut.push_back(pose);
  }
  ASSERT_GE(heldOut.size(), 15u);

  sim::Config room;
  room.address = "127.0.0.32";
  room.enableUdp = false;
  room.rate = 1000;
  room.distortion = {true, 1, 1.0};
  sim::Simulator simulator(room);
  std::string error;
  ASSERT_TRUE(simulator.start(&error)) << error;
  ConfigFile config;
  ASSERT_TRUE(
      parseConfigText("device cave motionstar 1\nmotionstaraddress 127.0.0.32\n"
                      "calibration field_correction " +
                          model + "\n",
                      "cave.conf", &config, &error));
  calibrate::SurveyReader device(1, 0);
  ::testing::internal::CaptureStdout();  // the driver's report
  const bool started = device.start(config.devices[0], &error);
  ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(started) << error;

  const sim::FieldDistortion distortion(1);
  std::vector<SurveyPair> before, after;
  for (const PoseRow& truth : heldOut) {
    uint64_t first = 0;
    ASSERT_TRUE(simulator.placeSensor(
        2, {truth.position, truth.angles[0], truth.angles[1], truth.angles[2]}, &first, &error))
        << error;
    calibrate::AveragedPose published;
    ASSERT_TRUE(device.average(first, 10, 5000, &published, &error)) << error;
    after.push_back({published.mean, truth});
    const sim::Pose measured =
        distortion.measure({truth.position, truth.angles[0], truth.angles[1], truth.angles[2]});
    before.push_back(
        {{measured.position, {measured.azimuth, measured.elevation, measured.roll}}, truth});
  }
  device.stop();
  const calibrate::ErrorSummary was = calibrate::summarise(calibrate::poseErrors(nullptr, before));
  const calibrate::ErrorSummary is = calibrate::summarise(calibrate::poseErrors(nullptr, after));
  // The room is there: inches and degrees off before.
  EXPECT_GT(was.positionRms, 0.8);
  EXPECT_GT(was.orientationRms, 0.5);
  // After: what the fit's cross-validation shows on this room (about 0.3 in
  // and 0.3 degrees RMS, 1.3 in and 1.5 degrees at worst) with a margin,
  // far above the readings' own noise (0.005 in, 0.005 degrees averaged).
  EXPECT_LT(is.positionRms, 0.3) << "inches";
  EXPECT_LT(is.positionMax, 1.2) << "inches";
  EXPECT_LT(is.orientationRms, 0.3) << "degrees";
  EXPECT_LT(is.orientationMax, 1.5) << "degrees";
  EXPECT_LT(is.positionRms, 0.2 * was.positionRms);
  EXPECT_LT(is.orientationRms, 0.3 * was.orientationRms);
  std::printf(
      "held out %zu: position RMS %.3f -> %.3f in, max %.3f -> %.3f in; orientation RMS "
      "%.3f -> %.3f deg, max %.3f -> %.3f deg\n",
      heldOut.size(), was.positionRms, is.positionRms, was.positionMax, is.positionMax,
      was.orientationRms, is.orientationRms, was.orientationMax, is.orientationMax);
}

}  // namespace
