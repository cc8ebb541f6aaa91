#include "common/config.h"

#include <gtest/gtest.h>

#include "common/logger.h"
#include "support/capture.h"
#include "support/entry_builder.h"
#include "support/plain_log.h"

namespace {

TEST(ConfigHelpers, CompareNoCase) {
  EXPECT_EQ(compareNoCase("ValuatorScale", "valuatorscale"), 0);
  EXPECT_EQ(compareNoCase("abc", "ABD"), -1);
  EXPECT_EQ(compareNoCase("abcd", "abc"), 1);
  EXPECT_EQ(compareNoCase("", ""), 0);
  EXPECT_EQ(compareNoCase("\xe9", "a"), 1);  // unsigned byte order
}

TEST(ConfigHelpers, ParseIntUsesBaseZero) {
  EXPECT_EQ(parseInt("010"), 8);
  EXPECT_EQ(parseInt("0x1F"), 31);
  EXPECT_EQ(parseInt("-3"), -3);
  EXPECT_EQ(parseInt("12abc"), 12);
  EXPECT_EQ(parseInt("all"), 0);
  EXPECT_EQ(parseInt("  +7"), 7);
  char text[] = "MiXeD 9";
  toLowerInPlace(text);
  EXPECT_STREQ(text, "mixed 9");
}

class UnknownOptions : public ::testing::Test {
 protected:
  void add(const char* name, uint32_t line, bool recognised) {
    builder.add(line, name, {}).recognised = recognised ? 1 : 0;
  }
  EntryBuilder builder;
  ConfigEntry& entry = *builder.get();
  CLogH log = plainLog();
};

TEST_F(UnknownOptions, EmptyEntryPasses) {
  CoutCapture out;
  EXPECT_TRUE(CConfigH::checkUnknownOptions(entry, log));
  EXPECT_EQ(out.text(), "");
}

TEST_F(UnknownOptions, EveryUnmarkedOptionIsListedInOrder) {
  add("hemisfere", 4, false);
  add("port", 5, true);
  add("Foo", 9, false);
  add("bar", 12, false);
  CoutCapture out;
  EXPECT_FALSE(CConfigH::checkUnknownOptions(entry, log));
  EXPECT_EQ(out.lines(),
            (std::vector<std::string>{
                "MESSAGE: ERROR: CConfigH: Unknown option \"hemisfere\" found at line 4.",
                "MESSAGE: ERROR: CConfigH: Unknown option \"Foo\" found at line 9.",
                "MESSAGE: ERROR: CConfigH: Unknown option \"bar\" found at line 12."}));
  EXPECT_EQ(entry.options[1].recognised, 1);
  EXPECT_EQ(entry.options[0].recognised, 0);  // the check marks nothing
}

TEST_F(UnknownOptions, EntriesParsersCannotWalkAreRefused) {
  add("port", 3, false);
  EXPECT_TRUE(CConfigH::checkEntryShape(entry, log));
  entry.options[0].name = nullptr;
  {
    CoutCapture out;
    EXPECT_FALSE(CConfigH::checkEntryShape(entry, log));
    EXPECT_EQ(out.text(), "MESSAGE: ERROR: CConfigH: Option without a name found at line 3.\n");
  }
  entry.options[0].name = "port";
  // Argument counts beyond the arrays: every one is named with its line.
  entry.lineNumber = 1;
  entry.options[0].argCount = kMaxOptionArgs + 1;
  entry.deviceArgCount = kMaxOptionArgs + 1;
  {
    CoutCapture out;
    EXPECT_FALSE(CConfigH::checkEntryShape(entry, log));
    EXPECT_EQ(out.lines(), (std::vector<std::string>{
                               "MESSAGE: ERROR: CConfigH: Too many arguments found at line 3.",
                               "MESSAGE: ERROR: CConfigH: Too many arguments found at line 1."}));
  }
  entry.options[0].argCount = kMaxOptionArgs;
  entry.deviceArgCount = kMaxOptionArgs;
  EXPECT_TRUE(CConfigH::checkEntryShape(entry, log));
  entry.optionCount = 33;
  CoutCapture out;
  EXPECT_FALSE(CConfigH::checkEntryShape(entry, log));
  EXPECT_EQ(out.text(), "MESSAGE: ERROR: CConfigH: The entry holds more than 32 options.\n");
}

}  // namespace
