#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/con_common.h"
#include "support/capture.h"
#include "support/entry_builder.h"
#include "support/plain_log.h"

namespace {

using Lines = std::vector<std::string>;

// Everything an option may change, as bytes, for before/after comparisons.
template <class T>
void put(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}
std::string state(const ControllerSetup& s) {
  std::string out;
  put(out, s.outputIndex);
  put(out, s.valuatorCount);
  put(out, s.buttonCount);
  put(out, s.valuatorMap);
  put(out, s.buttonMap);
  put(out, s.valuatorScale);
  if (s.emulation) put(out, *s.emulation);
  return out;
}

std::string error(const std::string& text) {
  return "CMotionStar: ERROR: " + text;
}

// The wand as the device describes it: one controller, 2 valuators, 3 buttons.
class ControllerOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    con.reset(new CConCommonH(&log));
    con->maxOutputCount = 1;
    ASSERT_TRUE(con->createTable(1, true));
    ASSERT_TRUE(con->setupController(1, 1, 2, 3));
  }

  // Parses a fresh entry holding one option; the lines written land in `lines`.
  bool parse(const char* name, const std::string& words, uint32_t line = 12) {
    entry = EntryBuilder();
    entry.addWords(line, name, words);
    return parse();
  }
  bool parse() {
    CoutCapture out;
    bool result = con->parseOptions(entry.get());
    lines = out.lines();
    return result;
  }

  const ControllerSetup& wand() const { return *con->controller(1); }

  CLogH log = plainLog("CMotionStar");
  std::unique_ptr<CConCommonH> con;
  EntryBuilder entry;
  Lines lines;
};

TEST_F(ControllerOptions, OrderListsRenumber) {
  EXPECT_TRUE(parse("ButtonOrder", "1 3 1 2"));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(entry.option(0).recognised, 1);
  EXPECT_EQ(wand().buttonCount, 3u);
  EXPECT_EQ(wand().buttonMap[2], 1u);  // raw 3 -> output 1
  EXPECT_EQ(wand().buttonMap[0], 2u);
  EXPECT_EQ(wand().buttonMap[1], 3u);
  EXPECT_EQ(wand().valuatorMap[1], 2u);  // the valuators are not touched

  // A written 0 leaves output 2 without an input; raw 1 lands beyond the count.
  EXPECT_TRUE(parse("buttonorder", "1 2 0 1"));
  EXPECT_EQ(wand().buttonCount, 2u);
  EXPECT_EQ(wand().buttonMap[1], 1u);
  EXPECT_EQ(wand().buttonMap[0], 3u);
  EXPECT_EQ(wand().buttonMap[2], 0u);

  EXPECT_TRUE(parse("valuatororder", "0x1"));  // no list: nothing goes through
  EXPECT_EQ(wand().valuatorCount, 0u);
  EXPECT_EQ(wand().valuatorMap[0] + wand().valuatorMap[1], 0u);
}

TEST_F(ControllerOptions, WithoutLimitOrderListsReachThirtyTwo) {
  ASSERT_TRUE(con->createTable(1, false));
  ASSERT_TRUE(con->setupController(1, 1, 2, 3));
  EXPECT_TRUE(parse("buttonorder", "1 4"));
  EXPECT_EQ(wand().buttonCount, 4u);
  EXPECT_EQ(wand().buttonMap[3], 1u);
  EXPECT_EQ(wand().buttonMap[0], 0u);
  EXPECT_TRUE(parse("valuatororder", "1 32 1"));
  EXPECT_EQ(wand().valuatorCount, 32u);
  EXPECT_EQ(wand().valuatorMap[31], 1u);
  EXPECT_EQ(wand().valuatorMap[0], 2u);
  EXPECT_FALSE(parse("buttonorder", "1 33"));
  EXPECT_EQ(lines, Lines{error("Invalid ID found in Order option at line 12.")});
}

TEST_F(ControllerOptions, ValuatorScaleForms) {
  EXPECT_TRUE(parse("valuatorscale", "1 2.5 2"));
  EXPECT_EQ(wand().valuatorScale[1][2], 2.5f);
  EXPECT_EQ(wand().valuatorScale[1][0], 0.0f);
  EXPECT_EQ(wand().valuatorScale[0][2], 1.0f);

  EXPECT_TRUE(parse("ValuatorScale", "1 [1.5,-2,3,4] 1 2"));
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(wand().valuatorScale[r][0], 1.5f);
    EXPECT_EQ(wand().valuatorScale[r][1], -2.0f);
    EXPECT_EQ(wand().valuatorScale[r][3], 4.0f);
  }

  EXPECT_TRUE(parse("valuatorscale", "1 0 1"));
  EXPECT_EQ(wand().valuatorScale[0][1] + wand().valuatorScale[0][2], 0.0f);

  // all reaches beyond the wand's two valuators and ends the scan.
  EXPECT_TRUE(parse("valuatorscale", "1 2.5 ALL 99"));
  for (int r = 0; r < 32; ++r) {
    EXPECT_EQ(wand().valuatorScale[r][2], 2.5f) << r;
    EXPECT_EQ(wand().valuatorScale[r][0] + wand().valuatorScale[r][3], 0.0f) << r;
  }
}

TEST_F(ControllerOptions, EmulateTrackerStoresItsRecord) {
  EXPECT_TRUE(parse("EmulateTracker", "1 [1,2,3,4.5,5,6] 1 2 0 0 0 2 3"));
  EXPECT_TRUE(lines.empty());
  ASSERT_NE(wand().emulation, nullptr);
  const TrackerEmulation& emulation = *wand().emulation;
  EXPECT_EQ(emulation.values[3], 4.5f);
  EXPECT_EQ(emulation.values[5], 6.0f);
  EXPECT_EQ(emulation.valuators[1], 2u);
  EXPECT_EQ(emulation.valuators[5], 2u);
  EXPECT_EQ(emulation.button, 3u);

  // Without a list the reals are 0; without a ninth argument there is no button.
  EXPECT_TRUE(parse("emulatetracker", "1 x 0 0 0 0 0 0"));
  EXPECT_EQ(entry.option(0).recognised, 1);
  for (float value : emulation.values) EXPECT_EQ(value, 0.0f);
  EXPECT_EQ(emulation.valuators[0], 0u);
  EXPECT_EQ(emulation.button, 0u);
}

TEST_F(ControllerOptions, EachFaultRejectsTheRecordAndChangesNothing) {
  struct Fault {
    const char* name;
    const char* words;
    const char* text;
  };
  const Fault faults[] = {
      {"buttonorder", "", "Incomplete option line found for Order at line 12."},
      {"buttonorder", "2 1", "Invalid controller ID found for Order option at line 12."},
      {"buttonorder", "-1 1", "Invalid controller ID found for Order option at line 12."},
      {"buttonorder", "1 2 x", "Invalid arg found for Order at line 12."},
      {"valuatororder", "1 1 1", "Same ID found more than once in Order option at line 12."},
      {"buttonorder", "1 2 2 x", "Same ID found more than once in Order option at line 12."},
      {"buttonorder", "1 3 x 2 2", "Invalid arg found for Order at line 12."},
      {"buttonorder", "1 4", "Invalid ID found in Order option at line 12."},
      {"buttonorder", "1 -2", "Invalid ID found in Order option at line 12."},
      {"valuatororder", "1 3", "Invalid ID found in Order option at line 12."},
      {"valuatorscale", "", "Incomplete option line found for ValuatorScale at line 12."},
      {"valuatorscale", "0 2 1",
       "Invalid controller ID found for ValuatorScale option at line 12."},
      {"valuatorscale", "1 2", "Incomplete option line found for ValuatorScale at line 12."},
      {"valuatorscale", "1 [0,0,0,0] 1",
       "Incomplete option line found for ValuatorScale at line 12."},
      {"valuatorscale", "1 abc 1", "Invalid arg found for ValuatorScale at line 12."},
      // Numbers no single-precision real holds.
      {"valuatorscale", "1 inf 1", "Invalid arg found for ValuatorScale at line 12."},
      {"valuatorscale", "1 1e39 all", "Invalid arg found for ValuatorScale at line 12."},
      {"valuatorscale", "1 [0,nan,0,0] 1", "Invalid arg found for ValuatorScale at line 12."},
      {"valuatorscale", "1 [1,2,-1e40,4] all", "Invalid arg found for ValuatorScale at line 12."},
      {"valuatorscale", "1 2 3", "Invalid valuator ID found for ValuatorScale option at line 12."},
      {"valuatorscale", "1 2 1 x all",
       "Invalid valuator ID found for ValuatorScale option at line 12."},
      {"emulatetracker", "", "Incomplete option line found for EmulateTracker at line 12."},
      {"emulatetracker", "2 x 0 0 0 0 0 0",
       "Invalid controller ID found for EmulateTracker option at line 12."},
      {"emulatetracker", "1", "Incomplete option line found for EmulateTracker at line 12."},
      {"emulatetracker", "1 [1,2,3,inf,5,6] 1 2 0 0 0 0",
       "Invalid arg found for EmulateTracker at line 12."},
      {"emulatetracker", "1 [NAN] 0 0 0 0 0 0", "Invalid arg found for EmulateTracker at line 12."},
      {"emulatetracker", "1 x 0 0 0 0 0",
       "Incomplete option line found for EmulateTracker at line 12."},
      {"emulatetracker", "1 x 0 0 0 0 0 0 1 1",
       "Too many args found for EmulateTracker at line 12."},
      {"emulatetracker", "1 x 0 0 3 0 0 0",
       "Invalid valuator ID found for EmulateTracker option at line 12."},
      {"emulatetracker", "1 x 0 0 -1 0 0 0",
       "Invalid valuator ID found for EmulateTracker option at line 12."},
      {"emulatetracker", "1 x 0 0 0 0 0 0 0",
       "Invalid button ID found for EmulateTracker option at line 12. Ignored."},
      {"emulatetracker", "1 x 0 0 0 0 0 0 4",
       "Invalid button ID found for EmulateTracker option at line 12. Ignored."},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(std::string(fault.name) + " " + fault.words);
    const std::string before = state(wand());
    EXPECT_FALSE(parse(fault.name, fault.words));
    EXPECT_EQ(lines, Lines{error(fault.text)});
    EXPECT_EQ(entry.option(0).recognised, 0);
    EXPECT_EQ(state(wand()), before);
  }
}

TEST_F(ControllerOptions, EveryFaultIsListedInOrderAndOthersAreLeftAlone) {
  entry.addWords(3, "port", "6000");
  entry.addWords(4, "buttonorder", "1 x");
  entry.addWords(5, "valuatorscale", "1 3 1");
  entry.addWords(7, "emulatetracker", "1");
  entry.addWords(9, "order", "1");  // the input connector's order belongs to the trackers
  entry.addWords(11, "valuatororder", "1 2 2");
  EXPECT_FALSE(parse());
  EXPECT_EQ(lines, (Lines{error("Invalid arg found for Order at line 4."),
                          error("Incomplete option line found for EmulateTracker at line 7."),
                          error("Same ID found more than once in Order option at line 11.")}));
  const uint8_t marks[] = {0, 0, 1, 0, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(entry.option(i).recognised, marks[i]) << i;
  EXPECT_EQ(wand().valuatorScale[0][2], 3.0f);  // the good line between the faults applies
}

class ControllerOrder : public ControllerOptions {
 protected:
  void SetUp() override {
    ControllerOptions::SetUp();
    ASSERT_TRUE(con->createTable(3, true));
    for (uint32_t id = 1; id <= 3; ++id) ASSERT_TRUE(con->setupController(id, id, 2, 3));
    con->maxOutputCount = 2;
  }
  uint32_t index(uint32_t id) const { return con->controller(id)->outputIndex; }
};

TEST_F(ControllerOrder, InputConnectorLeavesOrderKeywordsAlone) {
  entry.addWords(3, "order", "3 1");
  entry.addWords(4, "unitorder", "3");
  entry.addWords(5, "ControllerOrder", "9");
  EXPECT_TRUE(parse());
  EXPECT_TRUE(lines.empty());
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(entry.option(i).recognised, 0);
  EXPECT_EQ(index(1), 1u);
  EXPECT_EQ(index(3), 3u);
}

TEST_F(ControllerOrder, OtherConnectorsPlaceTheirControllers) {
  con->isInputConnector = false;
  EXPECT_TRUE(parse("controllerorder", "3 1 2"));  // only maxOutputCount entries count
  EXPECT_EQ(entry.option(0).recognised, 1);
  EXPECT_EQ(index(3), 1u);
  EXPECT_EQ(index(1), 2u);
  EXPECT_EQ(index(2), 0u);

  EXPECT_TRUE(parse("UnitOrder", "2 2"));  // named twice: the later place holds
  EXPECT_EQ(index(2), 2u);
  EXPECT_EQ(index(1) + index(3), 0u);

  EXPECT_FALSE(parse("order", "2 4 1", 5));
  EXPECT_EQ(lines, Lines{error("Invalid controller ID found for Order option at line 5.")});
  EXPECT_EQ(index(2), 2u);

  EXPECT_TRUE(parse("order", ""));
  EXPECT_EQ(index(2), 0u);
}

}  // namespace
