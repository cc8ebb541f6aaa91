#include "common/logger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/capture.h"
#include "support/fixed_clock.h"

namespace {

CLogH defaults(const char* name) {
  CLogH log;
  logh::resetDefaults(log);
  logh::setName(log, name);
  return log;
}

TEST(Logger, DefaultsAndPrefix) {
  FixedClock clock;
  CLogH log = defaults("MESSAGE");
  EXPECT_EQ(log.debugThreshold, 1);
  EXPECT_EQ(log.debugLevel, 0);
  EXPECT_STREQ(log.levelLabels[3], "DEBUG");
  CoutCapture out;
  logh::info(log, "hello");
  logh::error(log, "bad");
  logh::warning(log, "careful");
  logh::debug(log, "hidden");  // level 0 silences DEBUG
  EXPECT_EQ(out.text(),
            "Dec 06 14:09:53 MESSAGE[42]: INFO: hello\n"
            "Dec 06 14:09:53 MESSAGE[42]: ERROR: bad\n"
            "Dec 06 14:09:53 MESSAGE[42]: WARNING: careful\n");
}

TEST(Logger, PrefixFlags) {
  FixedClock clock;
  CLogH log = defaults("N");
  log.showDate = 0;
  log.showTime = 0;
  CoutCapture out;
  logh::info(log, "a");
  log.showThreadId = 0;
  logh::info(log, "b");
  log.showTime = 1;
  logh::info(log, "c");
  EXPECT_EQ(out.text(), "N[42]: INFO: a\nN: INFO: b\n14:09:53 N: INFO: c\n");
}

TEST(Logger, DebugFilter) {
  FixedClock clock;
  CLogH log = defaults("D");
  log.showDate = log.showTime = log.showThreadId = 0;
  struct Case {
    int32_t level, threshold, owner;
    bool on;
  } cases[] = {
      {0, 1, 0, false},  {0, 0, 0, false},   // level 0 silences everything
      {3, 10, 3, true},  {3, 10, 1, false},  // exact owner match
      {1, 1, 3, true},                       // at threshold: everybody
      {-1, 1, 3, false},                     // signed comparison
      {-1, -5, 7, true},
  };
  for (const Case& c : cases) {
    log.debugLevel = c.level;
    log.debugThreshold = c.threshold;
    log.ownerLevel = c.owner;
    EXPECT_EQ(logh::isDebugOn(log), c.on) << c.level << " " << c.threshold << " " << c.owner;
    CoutCapture out;
    logh::debug(log, "x");
    EXPECT_EQ(out.text(), c.on ? "D: DEBUG: x\n" : "");
  }
}

TEST(Logger, DisabledWritesNothingButStillAnswersTheLevelTest) {
  CLogH log = defaults("Q");
  log.enabled = 0;
  log.debugLevel = 5;
  CoutCapture out;
  logh::info(log, "a");
  logh::error(log, "a");
  logh::warning(log, "a");
  logh::debug(log, "a");
  logh::debugf(log, "%d\n", 1);
  EXPECT_EQ(out.text(), "");
  EXPECT_TRUE(logh::isDebugOn(log));
}

TEST(Logger, OpenLineContinuedOnStandardOutput) {
  CLogH log = defaults("L");
  log.showDate = log.showTime = log.showThreadId = 0;
  CoutCapture out;
  logh::error(log, "CMotionStar: ", false);
  std::cout << "Invalid string found for Protocol at line 12." << std::endl;
  EXPECT_EQ(out.lines(),
            std::vector<std::string>{
                "L: ERROR: CMotionStar: Invalid string found for Protocol at line 12."});
}

TEST(Logger, DebugfFormatsAndCutsAtItsBuffer) {
  CLogH log = defaults("F");
  log.showDate = log.showTime = log.showThreadId = 0;
  log.debugLevel = 1;
  CoutCapture out;
  logh::debugf(log, "CMotionStar: size:%d, type:%d, error code:%d\n", 16, 20, 0);
  EXPECT_EQ(out.text(), "F: DEBUG: CMotionStar: size:16, type:20, error code:0\n");
  out.clear();
  std::string longText(400, 'x');
  logh::debugf(log, "%s", longText.c_str());
  EXPECT_EQ(out.text(), "F: DEBUG: " + std::string(255, 'x'));
}

TEST(Logger, NamesAndLabelsStayTerminated) {
  CLogH log = defaults("x");
  std::string longName(150, 'n');
  logh::setName(log, longName.c_str());
  EXPECT_EQ(std::string(log.name), std::string(99, 'n'));

  CLogH host = defaults("host");
  std::memset(host.name, 'h', sizeof host.name);  // no terminator at all
  std::memset(host.levelLabels[0], 'i', sizeof host.levelLabels[0]);
  Logger copy(&host, "unused", 3);
  EXPECT_EQ(std::string(copy.record().name), std::string(99, 'h'));
  EXPECT_EQ(std::string(copy.record().levelLabels[0]), std::string(99, 'i'));
  EXPECT_EQ(copy.record().ownerLevel, 3);
}

TEST(Logger, CopiesAreIndependent) {
  CLogH host = defaults("host");
  host.debugLevel = 3;
  Logger a(&host, "A", 3);
  Logger b(nullptr, "B", 1);
  std::strcpy(host.name, "changed");
  EXPECT_STREQ(a.record().name, "host");
  EXPECT_EQ(a.record().debugLevel, 3);
  EXPECT_STREQ(b.record().name, "B");
  EXPECT_EQ(b.record().debugLevel, 0);
  EXPECT_EQ(b.record().ownerLevel, 1);
}

}  // namespace
