// The host's account of a device's data: limits, gaps, rates and the
// summary, on a clock the test moves by hand.
#include "host/device_state.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Backoff, HalfASecondDoublingToTenSeconds) {
  Backoff backoff;
  std::vector<int64_t> waits;
  for (int i = 0; i < 8; ++i) waits.push_back(backoff.nextMs());
  EXPECT_EQ(waits, (std::vector<int64_t>{500, 1000, 2000, 4000, 8000, 10000, 10000, 10000}));
}

TEST(DataHistory, StaleLimitFollowsTheMeasuredPeriod) {
  SupervisionLimits limits;
  DataHistory fast(limits);
  fast.begin(0);
  // Unknown until two packets show the period: a second.
  EXPECT_EQ(fast.staleLimitMs(), 1000);
  for (int64_t t = 5; t <= 500; t += 5) fast.packet(t);
  // Ten periods of 5 ms would be 50 ms: at least 100.
  EXPECT_EQ(fast.staleLimitMs(), 100);

  DataHistory slow(limits);
  slow.begin(0);
  for (int64_t t = 40; t <= 4000; t += 40) slow.packet(t);
  EXPECT_EQ(slow.staleLimitMs(), 400);
  // An outage is not a period: the limit stays.
  slow.packet(7000);
  slow.packet(7040);
  EXPECT_EQ(slow.staleLimitMs(), 400);

  limits.staleAfterMs = 250;
  DataHistory fixed(limits);
  fixed.begin(0);
  fixed.packet(10);
  fixed.packet(20);
  EXPECT_EQ(fixed.staleLimitMs(), 250);

  limits = SupervisionLimits{};
  limits.lostAfterMs = 300;
  DataHistory quick(limits);
  EXPECT_EQ(quick.staleLimitMs(), 300);  // never beyond the loss limit before the period is known
}

TEST(DataHistory, GapsSilenceAndTimeWithoutData) {
  DataHistory h{SupervisionLimits{}};
  h.begin(1000);
  EXPECT_EQ(h.silenceMs(1500), 500);  // a device that never sends goes silent from its start
  for (int64_t t = 1010; t <= 2000; t += 10) h.packet(t);
  EXPECT_EQ(h.staleLimitMs(), 100);
  EXPECT_EQ(h.gapMs(2050), 50);
  // An outage of 3 s, brought up again at 4500: silence counts from the
  // restart, the gap from the last packet.
  h.restart(4500);
  EXPECT_EQ(h.silenceMs(4600), 100);
  EXPECT_EQ(h.gapMs(4600), 2600);
  h.packet(5000);
  for (int64_t t = 5010; t <= 5100; t += 10) h.packet(t);
  h.end(5500);  // stopped after 400 ms without data
  EXPECT_EQ(h.largestGapMs(), 3000);
  EXPECT_EQ(h.withoutDataMs(), 3400);
  EXPECT_EQ(h.packets(), 111u);
  EXPECT_EQ(h.gapMs(9000), 400);  // frozen at the stop
}

TEST(DataHistory, RateOfTheLastSecondAndAfterTheStop) {
  DataHistory h{SupervisionLimits{}};
  h.begin(0);
  for (int64_t t = 10; t <= 3000; t += 10) h.packet(t);
  EXPECT_DOUBLE_EQ(h.rate(3000), 100.0);
  EXPECT_DOUBLE_EQ(h.rate(3500), 50.0);  // half the last second without data
  // Stopped (say by a packet limit): it shows the rate it had, not 0.
  h.end(3400);
  EXPECT_DOUBLE_EQ(h.rate(5000), 100.0);
  EXPECT_NEAR(h.meanRate(), 300 / 3.4, 1e-9);

  DataHistory young{SupervisionLimits{}};
  young.begin(0);
  for (int64_t t = 10; t <= 500; t += 10) young.packet(t);
  EXPECT_DOUBLE_EQ(young.rate(500), 100.0);  // half a second old, not 50 per second
}

TEST(DataHistory, SummaryNamesEveryFigure) {
  DataHistory h{SupervisionLimits{}};
  h.begin(0);
  for (int64_t t = 10; t <= 1000; t += 10) h.packet(t);
  h.packet(3500);
  h.end(3500);
  EXPECT_EQ(summaryText("front", h, 1, 1, 0),
            "front: 101 packets at a mean 28.9 per second, largest gap 2.50 s, 1 dropout, "
            "1 recovery, 2.50 s without data.");
  EXPECT_EQ(summaryText("side", h, 2, 0, 3),
            "side: 101 packets at a mean 28.9 per second, largest gap 2.50 s, 2 dropouts, "
            "0 recoveries, 2.50 s without data, 3 failed reads.");
}

}  // namespace
