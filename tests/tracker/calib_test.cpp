// CCalibH with the four calibration libraries and with one that cannot load.
#include "tracker/calib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "calib/test_probe.h"
#include "support/capture.h"
#include "support/fixed_clock.h"
#include "support/plain_log.h"

namespace {

using Lines = std::vector<std::string>;

CalibProbe& probeOf(CCalibH& calib) {
  return *static_cast<CalibProbe*>(calib.calibHandle);
}

TEST(CalibLibrary, PassThroughRunsTheWholeCycle) {
  CLogH log = plainLog("T", 3);
  CoutCapture out;
  {
    CCalibH calib(CALIB_PASSTHROUGH_PATH, &log);
    ASSERT_TRUE(calib.isLoaded());
    EXPECT_EQ(out.lines(), (Lines{"T: DEBUG: CDynamicLibH: \"constructor\" called.",
                                  "T: DEBUG: CDynamicLibH: \"init\" called.",
                                  "T: DEBUG: CDynamicLibH: \"load\" called.",
                                  std::string("T: DEBUG: CDynamicLibH: ") + CALIB_PASSTHROUGH_PATH +
                                      " library loaded.",
                                  "T: DEBUG: CCalibH: \"init\" called."}));
    out.clear();
    EXPECT_TRUE(calib.calibInit(nullptr, 0));
    EXPECT_EQ(out.lines(), (Lines{"T: DEBUG: CCalibH: \"init\" called.",
                                  "T: DEBUG: CDynamicLibH: \"getProcAddrCached\" called.",
                                  "T: DEBUG: CDynamicLibH: \"getProcAddr\" called.",
                                  "T: DEBUG: CCalibH: \"calib_init\" called."}));
    TraPose pose{1, 2, 3, 10, 20, 30};
    EXPECT_TRUE(calib.calibEvaluate(&pose));
    EXPECT_EQ(pose.x, 1);
    EXPECT_EQ(pose.roll, 30);
    EXPECT_EQ(calib.cacheSize(), 2u);  // slots 0 and 1
    out.clear();
    EXPECT_TRUE(calib.calibExit());
    EXPECT_EQ(calib.cacheSize(), 4u);  // calib_exit sits in slot 3
    EXPECT_EQ(out.lines(), (Lines{"T: DEBUG: CCalibH: \"exit\" called.",
                                  "T: DEBUG: CDynamicLibH: \"getProcAddrCached\" called.",
                                  "T: DEBUG: CDynamicLibH: \"getProcAddr\" called.",
                                  "T: DEBUG: CCalibH: \"calib_exit\" called."}));
    out.clear();
  }
  EXPECT_EQ(out.lines(), (Lines{"T: DEBUG: CCalibH: \"destructor\" called.",
                                "T: DEBUG: CDynamicLibH: \"destructor\" called.",
                                "T: DEBUG: CDynamicLibH: \"unload\" called."}));
}

TEST(CalibLibrary, ShiftXGetsItsOwnCopiesOfTheArguments) {
  CLogH log = plainLog("T");
  CCalibH calib(CALIB_SHIFT_X_PATH, &log);
  char first[] = "alpha";
  char second[] = "beta";
  char* args[] = {first, second};
  ASSERT_TRUE(calib.calibInit(args, 2));
  CalibProbe& probe = probeOf(calib);
  const int32_t evaluations = probe.evaluateCalls;
  const int32_t exits = probe.exitCalls;
  EXPECT_EQ(probe.initCount, 2);
  EXPECT_TRUE(probe.initArgsEnded);
  EXPECT_NE(probe.initArgs, args);
  EXPECT_NE(probe.initArgs[0], first);

  // The caller's texts may change or go; the library's copies stay.
  std::strcpy(first, "xxxxx");
  std::strcpy(second, "yyyy");
  TraPose pose{1.5f, 2, 3, 10, 20, 30};
  EXPECT_TRUE(calib.calibEvaluate(&pose));
  EXPECT_EQ(pose.x, 2.5f);
  EXPECT_EQ(pose.y, 2);
  EXPECT_STREQ(probe.argsAtEvaluate, "alpha|beta");
  EXPECT_EQ(probe.evaluateCalls, evaluations + 1);
  EXPECT_EQ(probe.evaluateHandle, calib.calibHandle);

  EXPECT_TRUE(calib.calibExit());
  EXPECT_EQ(probe.exitCalls, exits + 1);
  EXPECT_EQ(probe.exitHandle, calib.calibHandle);
  EXPECT_EQ(calib.arguments(), nullptr);  // released
  EXPECT_EQ(calib.argumentCount(), 2u);   // the count is kept
}

TEST(CalibLibrary, WithoutEvaluateInitAndExitStillWork) {
  CLogH log = plainLog("T");
  CoutCapture out;
  CCalibH calib(CALIB_NO_EVALUATE_PATH, &log);
  ASSERT_TRUE(calib.calibInit(nullptr, 0));
  CalibProbe& probe = probeOf(calib);
  EXPECT_EQ(probe.initCount, 0);
  EXPECT_TRUE(probe.initArgsEnded);  // an empty array, not a null pointer

  TraPose pose{1, 2, 3, 0, 0, 0};
  EXPECT_FALSE(calib.calibEvaluate(&pose));
  EXPECT_EQ(pose.x, 1);
  EXPECT_EQ(out.text(), "");  // silent

  // The failed lookup is remembered: the next call looks nothing up.
  log.debugLevel = 3;
  CCalibH traced(CALIB_NO_EVALUATE_PATH, &log);
  EXPECT_FALSE(traced.calibEvaluate(&pose));
  out.clear();
  EXPECT_FALSE(traced.calibEvaluate(&pose));
  EXPECT_EQ(out.lines(), Lines{"T: DEBUG: CDynamicLibH: \"getProcAddrCached\" called."});

  const int32_t exits = probe.exitCalls;
  EXPECT_TRUE(calib.calibExit());
  EXPECT_EQ(probe.exitCalls, exits + 1);
}

TEST(CalibLibrary, WithoutExitFailsAfterReleasingTheArguments) {
  CLogH log = plainLog("T", 3);
  CoutCapture out;
  CCalibH calib(CALIB_NO_EXIT_PATH, &log);
  char text[] = "site.cfg";
  char* args[] = {text};
  ASSERT_TRUE(calib.calibInit(args, 1));
  TraPose pose{};
  EXPECT_TRUE(calib.calibEvaluate(&pose));
  EXPECT_STREQ(probeOf(calib).argsAtEvaluate, "site.cfg");
  out.clear();
  EXPECT_FALSE(calib.calibExit());
  EXPECT_EQ(out.lines(), (Lines{"T: DEBUG: CCalibH: \"exit\" called.",
                                "T: DEBUG: CDynamicLibH: \"getProcAddrCached\" called.",
                                "T: DEBUG: CDynamicLibH: \"getProcAddr\" called.",
                                "T: DEBUG: CCalibH: could not call \"calib_exit\"."}));
  EXPECT_EQ(calib.arguments(), nullptr);
  EXPECT_EQ(calib.argumentCount(), 1u);
}

TEST(CalibLibrary, UnloadableLibraryFailsAtInitNotBefore) {
  CLogH log = plainLog("T", 3);
  CoutCapture out;
  CCalibH calib("/nonexistent/libcalib.so", &log);
  EXPECT_FALSE(calib.isLoaded());
  out.clear();
  char a[] = "one";
  char b[] = "two";
  char* args[] = {a, b};
  EXPECT_FALSE(calib.calibInit(args, 2));
  EXPECT_EQ(out.lines(), (Lines{"T: DEBUG: CCalibH: \"init\" called.",
                                "T: DEBUG: CDynamicLibH: \"getProcAddrCached\" called.",
                                "T: ERROR: CDynamicLibH: Library has not been loaded.",
                                "T: DEBUG: CCalibH: could not call \"calib_init\"."}));
  // The copies are made all the same.
  ASSERT_EQ(calib.argumentCount(), 2u);
  ASSERT_NE(calib.arguments(), nullptr);
  EXPECT_STREQ(calib.arguments()[1], "two");
  EXPECT_EQ(calib.arguments()[2], nullptr);

  TraPose pose{};
  EXPECT_FALSE(calib.calibEvaluate(&pose));
  EXPECT_FALSE(calib.calibExit());
}

TEST(CalibLibrary, OwnLoggerIsRenamedOnceTheLoaderIsBuilt) {
  FixedClock clock;
  CoutCapture out;
  CCalibH calib("/nonexistent/libcalib.so", nullptr);
  TraPose pose{};
  EXPECT_FALSE(calib.calibEvaluate(&pose));
  EXPECT_EQ(out.lines(),
            (Lines{"Dec 06 14:09:53 CDynamicLibH[42]: ERROR: CDynamicLibH: Can not load the "
                   "library /nonexistent/libcalib.so",
                   "Dec 06 14:09:53 CCalibH[42]: ERROR: CDynamicLibH: Library has not been "
                   "loaded."}));
}

}  // namespace
