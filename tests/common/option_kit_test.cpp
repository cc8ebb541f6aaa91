// The option kit the three parsers share: its fault line, its walk over an
// entry's records and its readers.
#include "common/option_kit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.h"
#include "support/entry_builder.h"
#include "support/plain_log.h"

namespace {

using optkit::Option;
using optkit::Outcome;

TEST(OptionKit, FaultIsOneLineInTwoPieces) {
  const CLogH log = plainLog();
  CoutCapture out;
  optkit::FaultLine{log, ""}.report("Invalid button ID found for ",
                                    "EmulateTracker option at line ", 7, ". Ignored.");
  optkit::FaultLine{log, "CMotionStar: "}.report(optkit::kInvalidString, "Protocol at line ", 12);
  EXPECT_EQ(out.lines(),
            (std::vector<std::string>{
                "MESSAGE: ERROR: Invalid button ID found for EmulateTracker option at line 7. "
                "Ignored.",
                "MESSAGE: ERROR: CMotionStar: Invalid string found for Protocol at line 12."}));
}

// A parser whose handlers do what the option's first argument says, and
// remember what they saw.
struct ScriptedParser {
  static const optkit::Keyword<ScriptedParser> kKeywords[];

  Outcome act(const Option& option) {
    seen.push_back(std::to_string(option.lineNumber()) + (option.faultSeen() ? "!" : ""));
    const std::string what = option.arg(0);
    if (what == "fault") return option.fault(optkit::kInvalidArg);
    if (what == "fatal") {
      option.fault(optkit::kInvalidArg, "Other at line ", " stop.");
      return Outcome::kFatal;
    }
    if (what == "skip") return Outcome::kSkipped;
    return Outcome::kAccepted;
  }

  std::vector<std::string> seen;  // line numbers, "!" after an earlier fault
};

const optkit::Keyword<ScriptedParser> ScriptedParser::kKeywords[] = {
    {"first", &ScriptedParser::act, "First at line "},
    {"second", &ScriptedParser::act, "Second at line "},
};

class OptionWalk : public ::testing::Test {
 protected:
  bool parse() {
    CoutCapture out;
    const bool result =
        optkit::parseOptions(*entry.get(), ScriptedParser::kKeywords, parser, {log, "P: "});
    lines = out.lines();
    return result;
  }

  CLogH log = plainLog();
  EntryBuilder entry;
  ScriptedParser parser;
  std::vector<std::string> lines;
};

TEST_F(OptionWalk, MarksAcceptedRecordsAndGoesOnAfterAFault) {
  OptionRecord& accepted = entry.add(1, "FIRST", {"ok"});
  OptionRecord& faulty = entry.add(2, "second", {"fault"});
  OptionRecord& unknown = entry.add(3, "third", {"ok"});
  OptionRecord& skipped = entry.add(4, "first", {"skip"});
  OptionRecord& later = entry.add(5, "Second", {"ok"});
  EXPECT_FALSE(parse());
  EXPECT_EQ(lines, std::vector<std::string>{"MESSAGE: ERROR: P: Invalid arg found for Second at "
                                            "line 2."});
  EXPECT_EQ(parser.seen, (std::vector<std::string>{"1", "2", "4!", "5!"}));
  EXPECT_EQ(accepted.recognised, 1);
  EXPECT_EQ(faulty.recognised + unknown.recognised + skipped.recognised, 0);
  EXPECT_EQ(later.recognised, 1);
}

TEST_F(OptionWalk, FatalFaultEndsTheWalk) {
  entry.add(1, "first", {"fatal"});
  OptionRecord& after = entry.add(2, "first", {"ok"});
  EXPECT_FALSE(parse());
  EXPECT_EQ(lines, std::vector<std::string>{"MESSAGE: ERROR: P: Invalid arg found for Other at "
                                            "line 1 stop."});
  EXPECT_EQ(after.recognised, 0);
  EXPECT_EQ(parser.seen.size(), 1u);
}

TEST_F(OptionWalk, StaysInsideTheRecordsAnEntryHolds) {
  for (uint32_t line = 1; line <= 32; ++line) entry.add(line, "first", {"ok"});
  entry.option(5).name = nullptr;  // a careless host's record
  entry.get()->optionCount = 40;
  EXPECT_TRUE(parse());
  EXPECT_EQ(parser.seen.size(), 31u);
  EXPECT_EQ(entry.option(5).recognised, 0);
}

TEST(OptionKit, ArgumentsAndTheirCount) {
  EntryBuilder entry;
  OptionRecord& record = entry.add(9, "x", {"a", "b"});
  const CLogH log = plainLog();
  const optkit::FaultLine faults{log, ""};
  const Option two(record, "X at line ", faults, false);
  EXPECT_EQ(two.argCount(), 2u);
  EXPECT_STREQ(two.arg(1), "b");
  EXPECT_STREQ(two.arg(2), "");  // past the count
  EXPECT_EQ(two.countFault(2, 2), nullptr);
  EXPECT_STREQ(two.countFault(3, 4), optkit::kIncomplete);
  EXPECT_STREQ(two.countFault(0, 1), optkit::kTooMany);

  record.argCount = 70;  // more than a record holds
  record.args[1] = nullptr;
  const Option many(record, "X at line ", faults, false);
  EXPECT_EQ(many.argCount(), 64u);
  EXPECT_STREQ(many.arg(1), "");
}

TEST(OptionKit, Readers) {
  EXPECT_EQ(optkit::readInteger("0"), 0);
  EXPECT_EQ(optkit::readInteger("0x20"), 32);
  EXPECT_EQ(optkit::readInteger("010"), 8);
  EXPECT_EQ(optkit::readInteger("12abc"), 12);
  EXPECT_EQ(optkit::readInteger("-3"), -3);
  EXPECT_EQ(optkit::readInteger("abc"), std::nullopt);

  EXPECT_EQ(optkit::readReal("1.5cm"), 1.5f);
  EXPECT_EQ(optkit::readReal("+x"), 0.0f);  // not letter-led: a zero
  EXPECT_EQ(optkit::readReal("-0.25"), -0.25f);
  EXPECT_EQ(optkit::readReal("one"), std::nullopt);
  // What no single-precision number holds would be published as garbage.
  for (const char* text : {"inf", "-Infinity", "nan", "NAN(1)", "1e39", "-1e300", "0x1p200"}) {
    EXPECT_EQ(optkit::readReal(text), std::nullopt) << text;
  }
  EXPECT_EQ(optkit::readReal("3.4e38"), 3.4e38f);
  EXPECT_EQ(optkit::readReal("1e-50"), 0.0f);  // vanishes, but is a number

  float list[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_TRUE(optkit::readRealList("[1, -2.5,3e2]", 4, list));
  EXPECT_EQ(std::vector<float>(list, list + 6), (std::vector<float>{1, -2.5f, 300, 9, 9, 9}));
  EXPECT_TRUE(optkit::readRealList("[1 ,2]", 6, list));  // a blank before the comma ends it
  EXPECT_EQ(list[1], -2.5f);
  for (const char* text : {"[inf]", "[1,nan,2]", "[0,0,0,-1e40]", "[1,2,3,4,5,0x1p999]"}) {
    EXPECT_FALSE(optkit::readRealList(text, 6, list)) << text;
  }
  EXPECT_EQ(std::vector<float>(list, list + 6), (std::vector<float>{1, -2.5f, 300, 9, 9, 9}));
  EXPECT_TRUE(optkit::readRealList("[1,2,3,4,nan]", 4, list));  // past the four it reads
  EXPECT_FALSE(optkit::readRealList("[1]", 7, list));

  EXPECT_EQ(optkit::readSwitch("YES"), true);
  EXPECT_EQ(optkit::readSwitch("On"), true);
  EXPECT_EQ(optkit::readSwitch("no"), false);
  EXPECT_EQ(optkit::readSwitch("OFF"), false);
  EXPECT_EQ(optkit::readSwitch("maybe"), std::nullopt);
  EXPECT_EQ(optkit::readSwitch("1"), std::nullopt);

  const optkit::Word<int> sizes[] = {{"small", 1}, {"large", 2}};
  EXPECT_EQ(optkit::readWord(sizes, "LARGE"), 2);
  EXPECT_EQ(optkit::readWord(sizes, "larger"), std::nullopt);
}

}  // namespace
