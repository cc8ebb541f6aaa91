// The tracker options: every keyword's effect, every fault line with its line
// number, and how parsing goes on after a fault.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.h"
#include "support/entry_builder.h"
#include "support/fixed_clock.h"
#include "support/plain_log.h"
#include "tracker/tra_common.h"

namespace {

using Lines = std::vector<std::string>;

class TrackerOptions : public ::testing::Test {
 protected:
  // Two trackers in slots 1 and 2, as a device with the transmitter at
  // address 3 would set them up; an input connector unless told otherwise.
  void SetUp() override {
    ASSERT_TRUE(tra.allocTrackers(2));
    tra.setTracker(1, 1, nullptr, nullptr, nullptr);
    tra.setTracker(2, 2, nullptr, nullptr, nullptr);
    tra.maxOutputCount = 2;
  }
  bool parse() {
    out.clear();
    return tra.parseOptions(entry.get());
  }

  CLogH log = plainLog("T");
  CTraCommonH tra{&log};
  EntryBuilder entry;
  CoutCapture out;
};

// One faulty option: the one line it writes, with its line number.
struct FaultCase {
  std::string caseName;  // the test's name
  bool inputConnector;
  std::string name;
  std::vector<std::string> args;
  std::string line;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
  *out << c.name;
  for (const std::string& arg : c.args) *out << ' ' << arg;
}

class OptionFaults : public TrackerOptions, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(OptionFaults, WritesOneLineAndLeavesTheOptionUnmarked) {
  const FaultCase& c = GetParam();
  tra.isInputConnector = c.inputConnector;
  OptionRecord& option = entry.add(17, c.name, c.args);
  EXPECT_FALSE(parse());
  EXPECT_EQ(out.lines(), Lines{"T: ERROR: " + c.line});
  EXPECT_EQ(option.recognised, 0);
  EXPECT_FALSE(tra.hasTransmitterOffset || tra.hasTransmitterRotation);
  EXPECT_FALSE(tra.trackers[0].hasSensorOffset || tra.trackers[0].hasSensorRotation ||
               tra.trackers[0].hasSensorTranslation);
  EXPECT_EQ(tra.calib, nullptr);
  EXPECT_EQ(tra.trackers[0].outputIndex, 1u);
}

const std::string kIncomplete = "Incomplete option line found for ";
const std::string kTooMany = "Too many args found for ";
const std::string kInvalidArg = "Invalid arg found for ";
const std::string kInvalidId = "Invalid tracker ID found for ";
const std::string kInvalidUnit = "Invalid unit found for ";
const std::string kInvalidString = "Invalid string found for ";

const std::vector<std::string> kNine = {"1", "0", "0", "0", "1", "0", "0", "0", "1"};
std::vector<std::string> join(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

INSTANTIATE_TEST_SUITE_P(
    EveryCheck, OptionFaults,
    ::testing::Values(
        FaultCase{"TransmitterOffsetWithTwoNumbers",
                  true,
                  "transmitteroffset",
                  {"1", "2"},
                  kIncomplete + "TransmitterOffset at line 17."},
        FaultCase{"TransmitterOffsetWithFiveArgs",
                  true,
                  "transmitteroffset",
                  {"abc", "2", "3", "feet", "x"},
                  kTooMany + "TransmitterOffset at line 17."},
        FaultCase{"TransmitterOffsetWordForANumber",
                  true,
                  "transmitteroffset",
                  {"1", "abc", "3"},
                  kInvalidArg + "TransmitterOffset at line 17."},
        FaultCase{"TransmitterOffsetInYards",
                  true,
                  "TransmitterOffset",
                  {"1", "2", "3", "yards"},
                  kInvalidString + "TransmitterOffset at line 17."},
        FaultCase{"TransmitterRotationWithThreeArgs",
                  true,
                  "transmitterrotation",
                  {"0", "0", "1"},
                  kIncomplete + "TransmitterRotation at line 17."},
        FaultCase{"TransmitterRotationWithFiveArgs",
                  true,
                  "transmitterrotation",
                  {"0", "0", "1", "90", "1"},
                  kTooMany + "TransmitterRotation at line 17."},
        FaultCase{"TransmitterRotationWordInTheAxis",
                  true,
                  "transmitterrotation",
                  {"0", "zed", "1", "90"},
                  kInvalidArg + "TransmitterRotation at line 17."},
        FaultCase{"TransmitterRotationWordForTheAngle",
                  true,
                  "transmitterrotation",
                  {"0", "0", "1", "ninety"},
                  kInvalidArg + "TransmitterRotation at line 17."},
        FaultCase{"TransmitterRotationMatrixWithEightNumbers",
                  true,
                  "transmitterrotationmatrix",
                  {"1", "0", "0", "0", "1", "0", "0", "0"},
                  kIncomplete + "TransmitterRotationMatrix at line 17."},
        FaultCase{"TransmitterRotationMatrixWithTenNumbers", true, "transmitterrotationmatrix",
                  join(kNine, {"1"}), kTooMany + "TransmitterRotationMatrix at line 17."},
        FaultCase{"TransmitterRotationMatrixWordForANumber",
                  true,
                  "transmitterrotationmatrix",
                  {"1", "0", "0", "0", "1", "0", "0", "0", "one"},
                  kInvalidArg + "TransmitterRotationMatrix at line 17."},
        FaultCase{"SensorOffsetWithoutArgs",
                  true,
                  "sensoroffset",
                  {},
                  kIncomplete + "SensorOffset at line 17."},
        FaultCase{"SensorOffsetIdPastTheTable",
                  true,
                  "sensoroffset",
                  {"3", "1", "2", "3"},
                  kInvalidId + "SensorOffset at line 17."},
        FaultCase{"SensorOffsetIdZero",
                  true,
                  "sensoroffset",
                  {"0", "1", "2", "3"},
                  kInvalidId + "SensorOffset at line 17."},
        FaultCase{"SensorOffsetIdAWord",
                  true,
                  "sensoroffset",
                  {"one", "1", "2", "3"},
                  kInvalidId + "SensorOffset at line 17."},
        FaultCase{"SensorOffsetIdNegative",
                  true,
                  "sensoroffset",
                  {"-1", "1", "2", "3"},
                  kInvalidId + "SensorOffset at line 17."},
        FaultCase{"SensorOffsetIdCheckedBeforeTheCount",
                  true,
                  "sensoroffset",
                  {"3"},
                  kInvalidId + "SensorOffset at line 17."},  // ID first
        FaultCase{"SensorOffsetWithTwoNumbers",
                  true,
                  "sensoroffset",
                  {"1", "1", "2"},
                  kIncomplete + "SensorOffset at line 17."},
        FaultCase{"SensorOffsetWithSixArgs",
                  true,
                  "sensoroffset",
                  {"1", "x", "2", "3", "m", "6"},
                  kTooMany + "SensorOffset at line 17."},
        FaultCase{"SensorOffsetWordForANumber",
                  true,
                  "sensoroffset",
                  {"1", "1", "q", "3"},
                  kInvalidArg + "SensorOffset at line 17."},
        FaultCase{"SensorOffsetInYards",
                  true,
                  "sensoroffset",
                  {"1", "1", "2", "3", "yards"},
                  kInvalidUnit + "SensorOffset at line 17."},
        FaultCase{"SensorTranslationWithoutArgs",
                  true,
                  "sensortranslation",
                  {},
                  kIncomplete + "SensorTranslation at line 17."},
        FaultCase{"SensorTranslationIdPastTheTable",
                  true,
                  "sensortranslation",
                  {"5", "1", "2", "3"},
                  kInvalidId + "SensorTranslation at line 17."},
        FaultCase{"SensorTranslationWithSixArgs",
                  true,
                  "sensortranslation",
                  {"1", "1", "2", "3", "4", "5"},
                  kTooMany + "SensorTranslation at line 17."},
        FaultCase{"SensorTranslationInFurlongs",
                  true,
                  "sensortranslation",
                  {"1", "1", "2", "3", "furlongs"},
                  kInvalidUnit + "SensorTranslation at line 17."},
        FaultCase{"SensorRotationWithoutArgs",
                  true,
                  "sensorrotation",
                  {},
                  kIncomplete + "SensorRotation at line 17."},
        FaultCase{"SensorRotationIdPastTheTable",
                  true,
                  "sensorrotation",
                  {"3", "0", "0", "1", "90"},
                  kInvalidId + "SensorRotation at line 17."},
        FaultCase{"SensorRotationWithFourArgs",
                  true,
                  "sensorrotation",
                  {"1", "0", "0", "1"},
                  kIncomplete + "SensorRotation at line 17."},
        FaultCase{"SensorRotationWithSixArgs",
                  true,
                  "sensorrotation",
                  {"1", "0", "0", "1", "90", "0"},
                  kTooMany + "SensorRotation at line 17."},
        FaultCase{"SensorRotationWordInTheAxis",
                  true,
                  "sensorrotation",
                  {"1", "0", "a", "1", "b"},
                  kInvalidArg + "SensorRotation at line 17."},
        FaultCase{"SensorRotationWordForTheAngle",
                  true,
                  "sensorrotation",
                  {"1", "0", "0", "1", "b"},
                  kInvalidArg + "SensorRotation at line 17."},
        FaultCase{"SensorRotationMatrixWithoutArgs",
                  true,
                  "sensorrotationmatrix",
                  {},
                  kIncomplete + "SensorRotationMatrix at line 17."},
        FaultCase{"SensorRotationMatrixIdPastTheTable", true, "sensorrotationmatrix",
                  join({"9"}, kNine), kInvalidId + "SensorRotationMatrix at line 17."},
        FaultCase{"SensorRotationMatrixWithThreeArgs",
                  true,
                  "sensorrotationmatrix",
                  {"1", "1", "0"},
                  kIncomplete + "SensorRotationMatrix at line 17."},
        FaultCase{"SensorRotationMatrixWithElevenArgs", true, "sensorrotationmatrix",
                  join(join({"1"}, kNine), {"0"}), kTooMany + "SensorRotationMatrix at line 17."},
        FaultCase{"SensorRotationMatrixWordForANumber",
                  true,
                  "sensorrotationmatrix",
                  {"2", "1", "0", "0", "0", "1", "0", "0", "0", "one"},
                  kInvalidArg + "SensorRotationMatrix at line 17."},
        FaultCase{"CalibrationWithoutArgs",
                  true,
                  "calibration",
                  {},
                  kIncomplete + "Calibration at line 17."},
        FaultCase{"CalibWithTwelveArgs",
                  true,
                  "Calib",
                  {"lib", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
                  kTooMany + "Calibration at line 17."},
        // The name field holds 255 characters and its terminator.
        FaultCase{"CalibLibraryNameOverlong",
                  true,
                  "calib",
                  {std::string(256, 'n')},
                  kInvalidArg + "Calibration at line 17."},
        FaultCase{"OrderOnAnInputConnector",
                  true,
                  "order",
                  {"2", "1"},
                  "Can not change the order on input connector at line 17."},
        FaultCase{"TrackerOrderOnAnInputConnector",
                  true,
                  "trackerorder",
                  {},
                  "Can not change the order on input connector at line 17."},
        FaultCase{"UnitOrderIdPastTheTable",
                  false,
                  "unitorder",
                  {"1", "3"},
                  kInvalidId + "Order at line 17."},
        FaultCase{"OrderIdZero", false, "order", {"0"}, kInvalidId + "Order at line 17."},
        FaultCase{
            "CaveCoordWithoutArgs", true, "cavecoord", {}, kIncomplete + "CAVECoord at line 17."},
        FaultCase{"CaveCoordWithTwoArgs",
                  true,
                  "cavecoord",
                  {"yes", "no"},
                  kTooMany + "CAVECoord at line 17."},
        FaultCase{"CaveCoordinatesMaybe",
                  true,
                  "CaveCoordinates",
                  {"maybe"},
                  kInvalidString + "CAVECoord at line 17."}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.caseName; });

// Numbers no single-precision real holds, and lengths that outgrow one in
// feet: read as they are they would publish garbage poses without a word.
INSTANTIATE_TEST_SUITE_P(
    NonFinite, OptionFaults,
    ::testing::Values(FaultCase{"TransmitterOffsetNan",
                                true,
                                "transmitteroffset",
                                {"nan", "0", "0"},
                                kInvalidArg + "TransmitterOffset at line 17."},
                      FaultCase{"TransmitterOffsetOverflowingFloat",
                                true,
                                "transmitteroffset",
                                {"1", "1e39", "0"},
                                kInvalidArg + "TransmitterOffset at line 17."},
                      FaultCase{"TransmitterOffsetOverflowingInFeet",
                                true,
                                "transmitteroffset",
                                {"0", "0", "3e38", "meters"},
                                kInvalidArg + "TransmitterOffset at line 17."},
                      FaultCase{"TransmitterRotationInfiniteAngle",
                                true,
                                "transmitterrotation",
                                {"0", "0", "1", "inf"},
                                kInvalidArg + "TransmitterRotation at line 17."},
                      FaultCase{"TransmitterRotationInfiniteAxis",
                                true,
                                "transmitterrotation",
                                {"0", "-Infinity", "1", "90"},
                                kInvalidArg + "TransmitterRotation at line 17."},
                      FaultCase{"TransmitterRotationMatrixNan",
                                true,
                                "transmitterrotationmatrix",
                                {"1", "0", "0", "0", "NaN", "0", "0", "0", "1"},
                                kInvalidArg + "TransmitterRotationMatrix at line 17."},
                      FaultCase{"SensorOffsetInfinite",
                                true,
                                "sensoroffset",
                                {"2", "inf", "0", "0"},
                                kInvalidArg + "SensorOffset at line 17."},
                      FaultCase{"SensorOffsetOverflowingDouble",
                                true,
                                "sensoroffset",
                                {"1", "1", "1e400", "0", "cm"},
                                kInvalidArg + "SensorOffset at line 17."},
                      FaultCase{"SensorTranslationOverflowingInFeet",
                                true,
                                "sensortranslation",
                                {"1", "-3e38", "0", "0", "m"},
                                kInvalidArg + "SensorTranslation at line 17."},
                      FaultCase{"SensorRotationNanAngle",
                                true,
                                "sensorrotation",
                                {"1", "0", "0", "1", "nan"},
                                kInvalidArg + "SensorRotation at line 17."},
                      FaultCase{"SensorRotationMatrixHexOverflow",
                                true,
                                "sensorrotationmatrix",
                                {"2", "1", "0", "0", "0", "1", "0", "0", "0", "0x1p200"},
                                kInvalidArg + "SensorRotationMatrix at line 17."}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.caseName; });

TEST_F(TrackerOptions, PreconditionsAreReportedUnderTheObjectsOwnName) {
  FixedClock clock;
  CTraCommonH fresh(nullptr);  // a logger of its own, named after the object
  EXPECT_FALSE(fresh.parseOptions(entry.get()));
  ASSERT_TRUE(fresh.allocTrackers(1));
  EXPECT_FALSE(fresh.parseOptions(nullptr));
  EXPECT_EQ(out.lines(),
            (Lines{"Dec 06 14:09:53 CTraCommonH[42]: ERROR: CTraCommonH: lookup is Null.",
                   "Dec 06 14:09:53 CTraCommonH[42]: ERROR: CTraCommonH: config is empty."}));
}

TEST_F(TrackerOptions, LengthsAndUnits) {
  OptionRecord& a = entry.add(3, "SENSOROFFSET", {"2", "6", "0", "0", "InChEs"});
  OptionRecord& b = entry.add(4, "sensoroffset", {"0x2", "6", "0", "0", "inches"});  // same tracker
  OptionRecord& c = entry.add(5, "transmitteroffset", {"1.5cm", "+x", "2", "M"});
  OptionRecord& d = entry.add(6, "sensortranslation", {"1", "1", "2", "4", "cm"});
  EXPECT_TRUE(parse());
  EXPECT_EQ(out.text(), "");
  EXPECT_TRUE(a.recognised && b.recognised && c.recognised && d.recognised);

  const TrackerRec& two = tra.trackers[1];
  EXPECT_TRUE(two.hasSensorOffset);
  EXPECT_FLOAT_EQ(two.sensorOffset.m[0][3], 0.5f);
  EXPECT_EQ(two.sensorOffset.m[1][3], 0);
  EXPECT_EQ(two.sensorTransform.m[3][0], two.sensorOffset.m[0][3]);  // rebuilt
  EXPECT_EQ(two.sensorTransform.m[3][3], 1);

  // "1.5cm" reads as 1.5 and "+x" as 0; the unit word converts to feet.
  EXPECT_TRUE(tra.hasTransmitterOffset);
  EXPECT_EQ(tra.transmitterOffset.m[0][3], 1.5f * 3.28083992f);
  EXPECT_EQ(tra.transmitterOffset.m[1][3], 0);
  EXPECT_EQ(tra.transmitterOffset.m[2][3], 2 * 3.28083992f);
  EXPECT_EQ(tra.transmitterTransform.m[3][2], tra.transmitterOffset.m[2][3]);

  const TrackerRec& one = tra.trackers[0];
  EXPECT_TRUE(one.hasSensorTranslation);
  EXPECT_FALSE(one.hasSensorOffset);
  EXPECT_EQ(one.sensorTranslation[2], 4 * 0.0328084007f);
  EXPECT_EQ(one.sensorTransform.m[3][0], 0);  // a translation is not part of the matrix
}

TEST_F(TrackerOptions, ZeroTransmitterOffsetIsAcceptedButNotStored) {
  OptionRecord& zero = entry.add(3, "transmitteroffset", {"0", "0", "0", "meters"});
  EXPECT_TRUE(parse());
  EXPECT_EQ(zero.recognised, 1);
  EXPECT_FALSE(tra.hasTransmitterOffset);

  // Values that only sum to zero are a real offset.
  EntryBuilder second;
  second.add(4, "transmitteroffset", {"1", "-1", "0"});
  EXPECT_TRUE(tra.parseOptions(second.get()));
  EXPECT_TRUE(tra.hasTransmitterOffset);
  EXPECT_EQ(tra.transmitterOffset.m[0][3], 1);
  EXPECT_EQ(tra.transmitterOffset.m[1][3], -1);

  // A zero offset after a real one leaves it as it was.
  EntryBuilder third;
  third.add(5, "transmitteroffset", {"0", "0", "0"});
  EXPECT_TRUE(tra.parseOptions(third.get()));
  EXPECT_TRUE(tra.hasTransmitterOffset);
  EXPECT_EQ(tra.transmitterOffset.m[0][3], 1);
}

TEST_F(TrackerOptions, RotationsShareOneSlotAndTheLaterWins) {
  entry.add(3, "transmitterrotation", {"0", "0", "0", "90"});  // zero axis: identity
  EXPECT_TRUE(parse());
  EXPECT_TRUE(tra.hasTransmitterRotation);
  EXPECT_EQ(tra.transmitterRotation.m[0][0], 1);
  EXPECT_EQ(tra.transmitterRotation.m[0][1], 0);
  EXPECT_EQ(tra.transmitterRotation.m[3][3], 0);  // built from options: row 3 is zero

  // Rotation after offset or before: the combined matrix holds both.
  EntryBuilder second;
  second.add(4, "transmitterrotation", {"0", "0", "2", "90"});
  second.add(5, "transmitteroffset", {"1", "2", "3"});
  second.add(6, "sensorrotationmatrix", {"2", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
  second.add(7, "sensoroffset", {"2", "4", "5", "6"});
  second.add(8, "sensorrotation", {"1", "1", "0", "0", "90"});
  second.add(9, "sensorrotationmatrix", {"1", "0", "0", "1", "0", "1", "0", "-1", "0", "0"});
  EXPECT_TRUE(tra.parseOptions(second.get()));
  const Matrix4& t = tra.transmitterTransform;
  EXPECT_NEAR(t.m[0][1], 1, 1e-6);
  EXPECT_NEAR(t.m[1][0], -1, 1e-6);
  EXPECT_EQ(t.m[3][0], 1);
  EXPECT_EQ(t.m[3][2], 3);

  const TrackerRec& two = tra.trackers[1];
  EXPECT_TRUE(two.hasSensorRotation && two.hasSensorOffset);
  EXPECT_EQ(two.sensorTransform.m[1][2], 6);  // row by row
  EXPECT_EQ(two.sensorTransform.m[2][0], 7);
  EXPECT_EQ(two.sensorTransform.m[3][1], 5);

  // The matrix option came later than the axis-angle one for tracker 1.
  const TrackerRec& one = tra.trackers[0];
  EXPECT_EQ(one.sensorRotation.m[0][2], 1);
  EXPECT_EQ(one.sensorRotation.m[2][0], -1);
  EXPECT_EQ(one.sensorTransform.m[0][2], 1);
}

TEST_F(TrackerOptions, OrderAssignsSlotsOnAnOutputConnector) {
  ASSERT_TRUE(tra.allocTrackers(3));
  for (uint32_t id = 1; id <= 3; ++id) tra.setTracker(id, id, nullptr, nullptr, nullptr);
  tra.isInputConnector = false;
  tra.maxOutputCount = 2;
  OptionRecord& order = entry.add(3, "TrackerOrder", {"3", "1", "2"});  // the 2 is beyond the max
  EXPECT_TRUE(parse());
  EXPECT_EQ(order.recognised, 1);
  EXPECT_EQ(tra.trackers[2].outputIndex, 1u);
  EXPECT_EQ(tra.trackers[0].outputIndex, 2u);
  EXPECT_EQ(tra.trackers[1].outputIndex, 0u);

  // Named twice: the later slot; slot 1 stays unused.
  EntryBuilder twice;
  twice.add(4, "order", {"1", "1"});
  EXPECT_TRUE(tra.parseOptions(twice.get()));
  EXPECT_EQ(tra.trackers[0].outputIndex, 2u);
  EXPECT_EQ(tra.trackers[2].outputIndex, 0u);

  // A bad ID anywhere changes no tracker.
  EntryBuilder bad;
  bad.add(5, "order", {"3", "4"});
  EXPECT_FALSE(tra.parseOptions(bad.get()));
  EXPECT_EQ(tra.trackers[0].outputIndex, 2u);
  EXPECT_EQ(tra.trackers[2].outputIndex, 0u);

  // Without arguments no tracker keeps a slot.
  EntryBuilder none;
  none.add(6, "unitorder", {});
  EXPECT_TRUE(tra.parseOptions(none.get()));
  EXPECT_EQ(tra.trackers[0].outputIndex, 0u);
}

TEST_F(TrackerOptions, CaveCoordinatesOnlyOnAnInputConnector) {
  OptionRecord& on = entry.add(3, "cavecoord", {"On"});
  EXPECT_TRUE(parse());
  EXPECT_EQ(on.recognised, 1);
  EXPECT_TRUE(tra.caveCoordinates);

  EntryBuilder off;
  OptionRecord& offRecord = off.add(4, "cavecoordinates", {"OFF"});
  EXPECT_TRUE(tra.parseOptions(off.get()));
  EXPECT_EQ(offRecord.recognised, 1);
  EXPECT_FALSE(tra.caveCoordinates);

  // Elsewhere the option is not this parser's: skipped, unchecked, unmarked.
  tra.isInputConnector = false;
  EntryBuilder skipped;
  OptionRecord& yes = skipped.add(5, "cavecoord", {"yes"});
  OptionRecord& bad = skipped.add(6, "cavecoord", {"maybe"});
  out.clear();
  EXPECT_TRUE(tra.parseOptions(skipped.get()));
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(yes.recognised + bad.recognised, 0);
  EXPECT_FALSE(tra.caveCoordinates);
}

TEST_F(TrackerOptions, UnknownNamesAreLeftForTheUnknownOptionCheck) {
  OptionRecord& port = entry.add(3, "port", {"6000"});
  OptionRecord& sensor = entry.add(4, "sensoroffsets", {"1", "1", "2", "3"});
  EXPECT_TRUE(parse());
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(port.recognised + sensor.recognised, 0);
}

TEST_F(TrackerOptions, AfterAFaultTransformsAreOnlyCheckedAndOtherOptionsStillApply) {
  tra.isInputConnector = false;
  OptionRecord& faulty = entry.add(10, "sensorrotation", {"1", "0", "0", "1"});
  OptionRecord& valid = entry.add(11, "sensoroffset", {"1", "1", "2", "3"});
  OptionRecord& unit = entry.add(12, "transmitteroffset", {"1", "2", "3", "yards"});  // not checked
  OptionRecord& angle = entry.add(13, "transmitterrotation", {"0", "0", "1", "ninety"});  // same
  OptionRecord& badId = entry.add(14, "sensortranslation", {"7", "1", "2", "3"});
  OptionRecord& badValue =
      entry.add(15, "transmitterrotationmatrix", {"1", "0", "0", "0", "1", "0", "0", "0", "one"});
  OptionRecord& calib = entry.add(16, "calibration", {"/nonexistent/libcalib.so", "a"});
  OptionRecord& order = entry.add(17, "order", {"2", "1"});
  OptionRecord& tooMany = entry.add(18, "sensoroffset", {"2", "1", "2", "3", "m", "x"});
  EXPECT_FALSE(parse());
  EXPECT_EQ(out.lines(),
            (Lines{"T: ERROR: Incomplete option line found for SensorRotation at line 10.",
                   "T: ERROR: Invalid tracker ID found for SensorTranslation at line 14.",
                   "T: ERROR: Invalid arg found for TransmitterRotationMatrix at line 15.",
                   "T: ERROR: CDynamicLibH: Can not load the library /nonexistent/libcalib.so",
                   "T: ERROR: Too many args found for SensorOffset at line 18."}));
  EXPECT_EQ(faulty.recognised + valid.recognised + unit.recognised + angle.recognised +
                badId.recognised + badValue.recognised + tooMany.recognised,
            0);
  EXPECT_FALSE(tra.trackers[0].hasSensorOffset);
  EXPECT_FALSE(tra.hasTransmitterOffset || tra.hasTransmitterRotation);

  EXPECT_EQ(calib.recognised, 1);
  ASSERT_NE(tra.calib, nullptr);
  EXPECT_STREQ(tra.calibLibName, "/nonexistent/libcalib.so");
  EXPECT_EQ(order.recognised, 1);
  EXPECT_EQ(tra.trackers[1].outputIndex, 1u);
  EXPECT_EQ(tra.trackers[0].outputIndex, 2u);
}

TEST_F(TrackerOptions, OneFaultyLineThenAValidOne) {
  entry.add(20, "cavecoord", {"maybe"});
  OptionRecord& valid = entry.add(21, "sensoroffset", {"1", "1", "2", "3"});
  EXPECT_FALSE(parse());
  EXPECT_EQ(out.lines(), Lines{"T: ERROR: Invalid string found for CAVECoord at line 20."});
  EXPECT_EQ(valid.recognised, 0);
  EXPECT_FALSE(tra.trackers[0].hasSensorOffset);
}

TEST_F(TrackerOptions, CalibrationLoadsTheLibraryAndKeepsCopiesOfItsArguments) {
  std::string a1 = "alpha", a2 = "beta";
  OptionRecord& first = entry.add(3, "calib", {CALIB_SHIFT_X_PATH, a1, a2});
  EXPECT_TRUE(parse());
  EXPECT_EQ(first.recognised, 1);
  ASSERT_NE(tra.calib, nullptr);
  EXPECT_TRUE(tra.calib->isLoaded());
  EXPECT_STREQ(tra.calibLibName, CALIB_SHIFT_X_PATH);
  ASSERT_EQ(tra.calibArgCount, 2u);
  EXPECT_STREQ(tra.calibArgs.data()[0], "alpha");
  EXPECT_STREQ(tra.calibArgs.data()[1], "beta");
  EXPECT_NE(tra.calibArgs.data()[0], first.args[1]);  // a copy, not the host's text

  // What the device does next: init with these arguments, evaluate a pose.
  ASSERT_TRUE(tra.calib->calibInit(tra.calibArgs, tra.calibArgCount));
  TraPose pose{1, 2, 3, 0, 0, 0};
  EXPECT_TRUE(tra.calib->calibEvaluate(&pose));
  EXPECT_EQ(pose.x, 2);

  // A second calibration option replaces library and arguments.
  EntryBuilder second;
  second.add(4, "CALIBRATION", {CALIB_PASSTHROUGH_PATH});
  EXPECT_TRUE(tra.parseOptions(second.get()));
  ASSERT_NE(tra.calib, nullptr);
  EXPECT_STREQ(tra.calibLibName, CALIB_PASSTHROUGH_PATH);
  EXPECT_EQ(tra.calibArgCount, 0u);
  EXPECT_EQ(tra.calibArgs.data()[0], nullptr);
  pose = {1, 2, 3, 0, 0, 0};
  EXPECT_TRUE(tra.calib->calibEvaluate(&pose));
  EXPECT_EQ(pose.x, 1);

  // A 255-character name still fits.
  EntryBuilder longName;
  longName.add(5, "calib", {std::string(255, 'n')});
  EXPECT_TRUE(tra.parseOptions(longName.get()));
  EXPECT_EQ(std::string(tra.calibLibName), std::string(255, 'n'));
}

TEST(TrackerLifecycle, DebugLinesCarryTheComponentOwnerLevel) {
  CLogH log = plainLog("T", 3);
  CoutCapture out;
  {
    CTraCommonH tra(&log);
    ASSERT_TRUE(tra.allocTrackers(1));
    EntryBuilder entry;
    entry.add(3, "calib", {CALIB_PASSTHROUGH_PATH});
    ASSERT_TRUE(tra.parseOptions(entry.get()));
    out.clear();
  }
  EXPECT_EQ(out.lines(), (Lines{"T: DEBUG: CTraCommonH: \"destructor\" called.",
                                "T: DEBUG: CCalibH: \"destructor\" called.",
                                "T: DEBUG: CDynamicLibH: \"destructor\" called.",
                                "T: DEBUG: CDynamicLibH: \"unload\" called."}));
  out.clear();
  { CTraCommonH tra(&log); }
  EXPECT_EQ(out.lines(), (Lines{"T: DEBUG: CTraCommonH: \"constructor\" called.",
                                "T: DEBUG: CTraCommonH: \"destructor\" called."}));

  // The device's own level does not open the component's DEBUG output.
  log.debugLevel = 1;
  out.clear();
  { CTraCommonH tra(&log); }
  EXPECT_EQ(out.text(), "");
}

}  // namespace
