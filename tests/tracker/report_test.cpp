// The tracker settings report, compared line by line.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/entry_builder.h"
#include "support/plain_log.h"
#include "tracker/tra_common.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kCont = "T: INFO:                       :";

class TrackerReport : public ::testing::Test {
 protected:
  void setUp(uint32_t trackers, bool inputConnector) {
    ASSERT_TRUE(tra.allocTrackers(trackers));
    for (uint32_t id = 1; id <= trackers; ++id) tra.setTracker(id, id, nullptr, nullptr, nullptr);
    tra.isInputConnector = inputConnector;
    tra.maxOutputCount = trackers;
  }
  void parse() {
    ASSERT_TRUE(tra.parseOptions(entry.get()));
    out.clear();
  }

  CLogH log = plainLog("T");
  CTraCommonH tra{&log};
  EntryBuilder entry;
  CoutCapture out;
};

TEST_F(TrackerReport, InitialStateWithOneSlot) {
  setUp(1, true);
  tra.outputIdBase = 4;
  EXPECT_TRUE(tra.printSettings(true));
  EXPECT_EQ(out.lines(), (Lines{"T: INFO: CAVE COORDINATES      : Unused",
                                "T: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>",
                                kCont + " 1->5"}));
  out.clear();
  tra.caveCoordinates = true;
  EXPECT_TRUE(tra.printSettings(true));
  EXPECT_EQ(out.lines()[0], "T: INFO: CAVE COORDINATES      : Used");
  out.clear();
  EXPECT_TRUE(tra.printSettings(false));
  EXPECT_EQ(out.lines(), (Lines{"T: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>",
                                kCont + " 1->5"}));
}

TEST_F(TrackerReport, NoSlotsLeavesTheOrderLineEmpty) {
  setUp(2, false);
  entry.add(3, "order", {});
  parse();
  tra.printSettings(false);
  EXPECT_EQ(out.lines(),
            (Lines{"T: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>", kCont}));
}

TEST_F(TrackerReport, IdentityTransmitterRotation) {
  setUp(1, true);
  entry.add(3, "transmitterrotation", {"0", "0", "0", "90"});
  parse();
  tra.printSettings(false);
  const std::string identity[3] = {" [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000",
                                   " [1][0]: 0.000 [1][1]: 1.000 [1][2]: 0.000",
                                   " [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000"};
  EXPECT_EQ(
      out.lines(),
      (Lines{"T: INFO: TRANSMITTER ROTATION  :" + identity[0], kCont + identity[1],
             kCont + identity[2], "", "T: INFO: TRANSMITTER TRANSFORM :" + identity[0],
             kCont + identity[1], kCont + identity[2], "",
             "T: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>", kCont + " 1->1"}));
}

TEST_F(TrackerReport, OneReportsNumberFormatDoesNotReachTheNext) {
  setUp(1, true);
  entry.add(3, "transmitteroffset", {"0.5", "-2", "10"});
  parse();
  const Lines expectedTail = {
      "T: INFO: TRANSMITTER TRANSFORM : [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000",
      kCont + " [1][0]: 0.000 [1][1]: 1.000 [1][2]: 0.000",
      kCont + " [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000",
      "",
      "T: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>",
      kCont + " 1->1"};
  tra.printSettings(false);
  Lines expected = {"T: INFO: TRANSMITTER OFFSET    : X:0.5 Y:-2 Z:10"};
  expected.insert(expected.end(), expectedTail.begin(), expectedTail.end());
  EXPECT_EQ(out.lines(), expected);

  // The first report's matrices printed in fixed notation; the second
  // report reads as the first, and so does a number printed after it.
  out.clear();
  tra.printSettings(false);
  EXPECT_EQ(out.lines(), expected);
  out.clear();
  std::cout << 0.492126 << std::endl;
  EXPECT_EQ(out.lines(), (Lines{"0.492126"}));
}

TEST_F(TrackerReport, PositionsAfterAMatrixInTheSameReportAreFixed) {
  setUp(1, true);
  entry.add(3, "transmitterrotation", {"0", "0", "1", "0"});
  entry.add(4, "sensoroffset", {"1", "0.492126", "0", "0"});
  parse();
  tra.printSettings(false);
  Lines offsets;
  for (const std::string& line : out.lines()) {
    if (line.rfind("T: INFO: SENSOR OFFSET", 0) == 0) offsets.push_back(line);
  }
  EXPECT_EQ(offsets, (Lines{"T: INFO: SENSOR OFFSET         : 1 X:0.492 Y:0.000 Z:0.000"}));
}

TEST_F(TrackerReport, WideElementsAreWrittenInFull) {
  setUp(1, true);
  entry.add(3, "transmitterrotationmatrix",
            {"-10", "123.4567", "0.0004", "0", "0", "0", "0", "0", "-0.5"});
  parse();
  tra.printSettings(false);
  const Lines lines = out.lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "T: INFO: TRANSMITTER ROTATION  : [0][0]:-10.000 [0][1]:123.457 [0][2]: 0.000");
  EXPECT_EQ(lines[2], kCont + " [2][0]: 0.000 [2][1]: 0.000 [2][2]:-0.500");
}

TEST_F(TrackerReport, EveryTrackerOptionInUse) {
  setUp(3, false);
  tra.outputIdBase = 2;
  entry.add(10, "TransmitterOffset", {"1", "2", "3"});
  entry.add(11, "transmitterrotation", {"0", "0", "1", "90"});
  entry.add(12, "order", {"2", "1"});
  entry.add(13, "sensoroffset", {"1", "6", "0", "0", "inches"});
  entry.add(14, "sensorrotation", {"1", "1", "0", "0", "90"});
  entry.add(15, "sensorrotationmatrix", {"2", "1", "0", "0", "0", "0", "-1", "0", "1", "0"});
  entry.add(16, "sensortranslation", {"2", "1", "1", "1"});  // never reported
  entry.add(17, "sensoroffset", {"3", "1", "1", "1"});       // tracker 3 has no slot
  entry.add(18, "calibration", {CALIB_PASSTHROUGH_PATH, "alpha", "beta"});
  parse();
  tra.printSettings(true);

  const std::string rz[3] = {" [0][0]: 0.000 [0][1]: 1.000 [0][2]: 0.000",
                             " [1][0]:-1.000 [1][1]: 0.000 [1][2]: 0.000",
                             " [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000"};
  const std::string rx[3] = {" 1 [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000",
                             " 1 [1][0]: 0.000 [1][1]: 0.000 [1][2]: 1.000",
                             " 1 [2][0]: 0.000 [2][1]:-1.000 [2][2]: 0.000"};
  const std::string m2[3] = {" 2 [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000",
                             " 2 [1][0]: 0.000 [1][1]: 0.000 [1][2]:-1.000",
                             " 2 [2][0]: 0.000 [2][1]: 1.000 [2][2]: 0.000"};
  const Lines expected = {
      "T: INFO: CAVE COORDINATES      : Unused",
      "T: INFO: TRANSMITTER OFFSET    : X:1 Y:2 Z:3",
      "T: INFO: TRANSMITTER ROTATION  :" + rz[0],
      kCont + rz[1],
      kCont + rz[2],
      "",
      "T: INFO: TRANSMITTER TRANSFORM :" + rz[0],
      kCont + rz[1],
      kCont + rz[2],
      "",
      "T: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>",
      kCont + " 1->4 2->3",
      "T: INFO: SENSOR OFFSET         : 1 X:0.500 Y:0.000 Z:0.000",
      "T: INFO: SENSOR ROTATION       :" + rx[0],
      kCont + rx[1],
      kCont + rx[2],
      "",
      "T: INFO: SENSOR TRANSFORM      :" + rx[0],
      kCont + rx[1],
      kCont + rx[2],
      "",
      "T: INFO: SENSOR ROTATION       :" + m2[0],
      kCont + m2[1],
      kCont + m2[2],
      "",
      "T: INFO: SENSOR TRANSFORM      :" + m2[0],
      kCont + m2[1],
      kCont + m2[2],
      "",
      std::string("T: INFO: CALIBRATION LIBRARY   : name:") + CALIB_PASSTHROUGH_PATH,
      kCont + " arg[0]:alpha",
      kCont + " arg[1]:beta"};
  EXPECT_EQ(out.lines(), expected);
}

TEST_F(TrackerReport, SwitchedOffLoggerLeavesOnlyTheDirectParts) {
  log.enabled = 0;
  CTraCommonH quiet(&log);
  ASSERT_TRUE(quiet.allocTrackers(1));
  quiet.setTracker(1, 1, nullptr, nullptr, nullptr);
  out.clear();
  quiet.printSettings(true);
  EXPECT_EQ(out.lines(), Lines{" 1->1"});
}

}  // namespace
