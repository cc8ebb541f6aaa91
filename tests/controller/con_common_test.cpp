#include "controller/con_common.h"

#include <gtest/gtest.h>

#include "support/capture.h"
#include "support/entry_builder.h"
#include "support/fixed_clock.h"

namespace {

TEST(ConCommonTable, PreconditionsAreReportedUnderItsOwnName) {
  CoutCapture out;
  FixedClock clock;
  CConCommonH con(nullptr);
  EntryBuilder entry;
  entry.addWords(3, "buttonorder", "1 1");
  EXPECT_FALSE(con.parseOptions(entry.get()));  // no table yet
  ASSERT_TRUE(con.createTable(1, true));
  EXPECT_FALSE(con.parseOptions(nullptr));
  const std::string prefix = std::string(FixedClock::kDateTime) + "CConCommonH[42]: ERROR: ";
  EXPECT_EQ(out.lines(), (std::vector<std::string>{prefix + "CConCommonH: lookup Null",
                                                   prefix + "CConCommonH: config empty"}));
  EXPECT_EQ(entry.option(0).recognised, 0);
}

TEST(ConCommonTable, CreateAndDestroy) {
  CConCommonH con(nullptr);
  EXPECT_TRUE(con.isInputConnector);
  EXPECT_TRUE(con.limitToCounts);
  EXPECT_EQ(con.tableSize, 0u);
  EXPECT_EQ(con.controller(1), nullptr);
  EXPECT_FALSE(con.destroyTable());
  EXPECT_FALSE(con.createTable(0, false));

  ASSERT_TRUE(con.createTable(2, false));
  EXPECT_EQ(con.tableSize, 2u);
  EXPECT_FALSE(con.limitToCounts);
  EXPECT_EQ(con.controller(0), nullptr);
  EXPECT_EQ(con.controller(3), nullptr);
  const ControllerSetup& setup = *con.controller(2);
  EXPECT_EQ(setup.outputIndex + setup.valuatorCount + setup.buttonCount, 0u);
  for (uint32_t r = 0; r < kMaxControllerInputs; ++r) {
    EXPECT_EQ(setup.valuatorMap[r] + setup.buttonMap[r], 0u);
    const float* scale = setup.valuatorScale[r];
    EXPECT_TRUE(scale[0] == 0 && scale[1] == 0 && scale[2] == 1 && scale[3] == 0) << r;
  }
  EXPECT_EQ(setup.emulation, nullptr);

  EXPECT_TRUE(con.destroyTable());
  EXPECT_EQ(con.tableSize, 0u);
  EXPECT_EQ(con.controller(1), nullptr);
}

TEST(ConCommonTable, SetupControllerGivesIdentityMapsAndRefusesOversizedCounts) {
  CConCommonH con(nullptr);
  EXPECT_FALSE(con.setupController(1, 1, 2, 3));  // no table
  ASSERT_TRUE(con.createTable(1, true));
  EXPECT_FALSE(con.setupController(0, 1, 2, 3));
  EXPECT_FALSE(con.setupController(2, 1, 2, 3));
  EXPECT_FALSE(con.setupController(1, 1, 33, 3));
  EXPECT_FALSE(con.setupController(1, 1, 2, 33));
  EXPECT_EQ(con.controller(1)->valuatorCount, 0u);

  ASSERT_TRUE(con.setupController(1, 1, 2, 3));
  const ControllerSetup& setup = *con.controller(1);
  EXPECT_EQ(setup.outputIndex, 1u);
  EXPECT_EQ(setup.valuatorCount, 2u);
  EXPECT_EQ(setup.buttonCount, 3u);
  EXPECT_EQ(setup.valuatorMap[1], 2u);
  EXPECT_EQ(setup.valuatorMap[2], 0u);
  EXPECT_EQ(setup.buttonMap[2], 3u);
  EXPECT_EQ(setup.buttonMap[3], 0u);
  ASSERT_TRUE(con.setupController(1, 1, 32, 32));
  EXPECT_EQ(setup.valuatorMap[31] + setup.buttonMap[31], 64u);
}

TEST(ConCommonTable, SetEmulationFillsOneRecordAndANewTableDropsIt) {
  CConCommonH con(nullptr);
  const float values[6] = {1, 2, 3, 4, 5, 6};
  const uint32_t valuators[6] = {1, 2, 0, 0, 0, 0};
  EXPECT_FALSE(con.setEmulation(1, 0, values, valuators, 1));
  ASSERT_TRUE(con.createTable(2, true));
  EXPECT_FALSE(con.setEmulation(3, 0, values, valuators, 1));
  ASSERT_TRUE(con.setEmulation(2, 7, values, valuators, 3));
  EXPECT_EQ(con.controller(1)->emulation, nullptr);
  const TrackerEmulation* emulation = con.controller(2)->emulation.get();
  ASSERT_NE(emulation, nullptr);
  EXPECT_EQ(emulation->mode, 7u);
  EXPECT_EQ(emulation->values[5], 6.0f);
  EXPECT_EQ(emulation->valuators[1], 2u);
  EXPECT_EQ(emulation->button, 3u);

  ASSERT_TRUE(con.setEmulation(2, 0, values, valuators, 0));  // reuses the record
  EXPECT_EQ(con.controller(2)->emulation.get(), emulation);
  EXPECT_EQ(emulation->button, 0u);

  ASSERT_TRUE(con.createTable(1, true));
  EXPECT_EQ(con.controller(1)->emulation, nullptr);
}

}  // namespace
