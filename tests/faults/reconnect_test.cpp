// A device that disappears mid-stream and comes back: UDP silence ends each
// read at the data wait with nothing published, and the stream resumes on
// its own; a TCP reset fails the read, and the host makes the device anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "faults/fault_rig.h"
#include "support/loopback_probe.h"

namespace faults {
namespace {

TEST(Reconnect, UdpSilenceReadsAsNothingAndTheStreamResumes) {
  Rig rig(sim::Transport::kUdp);
  ASSERT_TRUE(rig.up());
  rig.expectGoodPacket();
  const TraData before = rig.storages().tracker(2);

  rig.sim().setUdpSilent(true);
  EXPECT_EQ(rig.sim().emitPackets(1), 0);
  UpdatedMasks masks;
  std::memset(&masks, 0xFF, sizeof masks);
  testing::internal::CaptureStdout();
  EXPECT_EQ(rig.receive(&masks), 1);  // after the data wait
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(e2e::maskWord(masks.tracker), 0u);
  const TraData after = rig.storages().tracker(2);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);

  rig.sim().setUdpSilent(false);
  rig.expectGoodPacket();
  rig.expectNeighboursUntouched();
}

TEST(Reconnect, TcpResetFailsTheReadAndANewDeviceObjectPublishesAgain) {
  if (!loopback_probe::tcpAbortResetsThePeer()) {
    GTEST_SKIP() << "this system ends an aborted TCP connection in order instead of resetting it "
                    "(Wine does this)";
  }
  Rig rig(sim::Transport::kTcp);
  ASSERT_TRUE(rig.up());
  rig.expectGoodPacket();

  rig.sim().injectDataFault({sim::DataFault::Kind::kResetConnection});
  rig.sim().emitPackets(1);
  UpdatedMasks masks;
  testing::internal::CaptureStdout();
  EXPECT_EQ(rig.receive(&masks), -1);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.rfind("ms: ERROR: Reading from ", 0), 0u) << printed;
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  EXPECT_EQ(e2e::maskWord(masks.tracker), 0u);
  EXPECT_FALSE(rig.sim().streaming());

  // The host gives up on the object and makes it again from its entry; the
  // simulator's listener takes the new connection.
  testing::internal::CaptureStdout();
  const uint32_t first = rig.recreateDevice();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(first, 5u);  // after the second neighbour
  rig.expectGoodPacket();
  rig.expectNeighboursUntouched();
}

TEST(Reconnect, PowerCycledSystemIsSilentThenANewDeviceObjectWakesAndSetsItUpAgain) {
  for (const sim::Transport transport : {sim::Transport::kTcp, sim::Transport::kUdp}) {
    SCOPED_TRACE(transport == sim::Transport::kTcp ? "TCP" : "UDP");
    Rig rig(transport);
    ASSERT_TRUE(rig.up());
    rig.expectGoodPacket();
    const uint8_t hemisphere = rig.sim().statusBlock(2).at(10);

    rig.sim().powerCycle(std::chrono::minutes(1));
    EXPECT_EQ(rig.sim().emitPackets(1), 0);
    UpdatedMasks masks;
    testing::internal::CaptureStdout();
    EXPECT_EQ(rig.receive(&masks), 1);  // after the data wait
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(e2e::maskWord(masks.tracker), 0u);

    rig.sim().powerCycle(std::chrono::milliseconds(0));
    ASSERT_TRUE(rig.sim().waitUntilReachable(std::chrono::seconds(5)));
    EXPECT_NE(rig.sim().statusBlock(2).at(10), hemisphere) << "back to the power-on setup";
    testing::internal::CaptureStdout();
    rig.recreateDevice();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(rig.sim().statusBlock(2).at(10), hemisphere);
    rig.expectGoodPacket();
    rig.expectNeighboursUntouched();
  }
}

}  // namespace
}  // namespace faults
