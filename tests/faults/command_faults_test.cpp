// Faulty replies through the module, over TCP and UDP: the exchange gives
// the answer and the message it is specified to, and where a host can try
// again the device recovers and publishes good packets.
#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "support/plain_log.h"

namespace faults {
namespace {

class CommandFaults : public ::testing::TestWithParam<sim::Transport> {
 protected:
  void SetUp() override {
    sim::Config config;
    config.units = 3;
    config.enableTcp = GetParam() == sim::Transport::kTcp;
    config.enableUdp = !config.enableTcp;
    std::string address;
    sim = e2e::startSimulator(config, &address);
    ASSERT_TRUE(sim);
    device = std::make_unique<e2e::Device>("device ms motionstar 2\nmotionstaraddress " + address +
                                               "\nprotocol " +
                                               (config.enableTcp ? "tcp\n" : "udp\nport 0\n"),
                                           storages, &log);
    ASSERT_EQ(device->init(), 1);
  }

  void TearDown() override { device.reset(); }

  void expectGoodPacket() {
    const uint64_t index = sim->nextPacketIndex();
    ASSERT_EQ(sim->emitPackets(1), 1);
    UpdatedMasks masks;
    ASSERT_EQ(device->receive(&masks), 1);
    EXPECT_EQ(e2e::maskWord(masks.tracker), 0x3u);
    for (uint32_t id = 1; id <= 2; ++id) {
      const std::array<double, 6> want =
          e2e::expectedPose(sim::Simulator::unitWords(static_cast<int>(id) + 1, index));
      const std::array<double, 6> got = e2e::publishedPose(storages.tracker(id));
      for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 2e-5) << "id " << id;
    }
  }

  int count(uint8_t code) const {
    int n = 0;
    for (const sim::Received& r : sim->received()) n += r.code == code ? 1 : 0;
    return n;
  }

  CLogH log = plainLog("ms");
  HostStorages storages{log};
  std::unique_ptr<sim::Simulator> sim;
  std::unique_ptr<e2e::Device> device;
};

TEST_P(CommandFaults, WrongPacketsBeforeTheReplyAreSkipped) {
  sim::CommandFault fault{sim::CommandFault::Kind::kWrongTypes};
  fault.count = 7;
  sim->injectCommandFault(sim::kRunContinuous, fault);
  ASSERT_EQ((*device)->configure(), 2);
  testing::internal::CaptureStdout();
  EXPECT_TRUE((*device)->start());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  expectGoodPacket();
}

TEST_P(CommandFaults, HundredWrongPacketsEndStopBeforeShutDown) {
  ASSERT_EQ((*device)->configure(), 2);
  ASSERT_TRUE((*device)->start());
  sim::CommandFault fault{sim::CommandFault::Kind::kWrongTypes};
  fault.count = 100;
  sim->injectCommandFault(sim::kStopData, fault);
  testing::internal::CaptureStdout();
  EXPECT_FALSE((*device)->stop());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: STOP_DATA command incompleted.\n");
  EXPECT_EQ(count(sim::kShutDown), 0);
}

TEST_P(CommandFaults, RefusedSetupFailsConfigureAndASecondConfigureSucceeds) {
  sim::CommandFault fault{sim::CommandFault::Kind::kErrorCode};
  fault.errorCode = 3;
  sim->injectCommandFault(sim::kSendSetup, fault);
  testing::internal::CaptureStdout();
  EXPECT_EQ((*device)->configure(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: SEND_SETUP command incompleted.\n");
  EXPECT_EQ((*device)->configure(), 2);
  ASSERT_TRUE((*device)->start());
  expectGoodPacket();
}

TEST_P(CommandFaults, WakeUpErrorStopsAndShutsDownTheSystemThenWakesIt) {
  sim->injectCommandFault(sim::kWakeUp, {sim::CommandFault::Kind::kWakeUpError});
  testing::internal::CaptureStdout();
  EXPECT_EQ((*device)->configure(), 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  std::vector<uint8_t> codes;
  for (const sim::Received& r : sim->received()) codes.push_back(r.code);
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes[0], sim::kWakeUp);
  EXPECT_EQ(codes[1], sim::kStopData);
  EXPECT_EQ(codes[2], sim::kShutDown);
  EXPECT_EQ(count(sim::kWakeUp), 1);  // the reply is awaited again, not asked for
  ASSERT_TRUE((*device)->start());
  expectGoodPacket();
}

TEST_P(CommandFaults, ErrorCodeOnRunContinuousFailsStartAndTheNextStartRuns) {
  ASSERT_EQ((*device)->configure(), 2);
  sim->injectCommandFault(sim::kRunContinuous, {sim::CommandFault::Kind::kErrorCode});
  testing::internal::CaptureStdout();
  EXPECT_FALSE((*device)->start());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: Sending RUN_CONTINUOUS command failed.\n");
  EXPECT_FALSE(sim->streaming());
  ASSERT_TRUE((*device)->start());
  expectGoodPacket();
}

TEST_P(CommandFaults, ReplyInTwoPiecesIsAReadFailure) {
  ASSERT_EQ((*device)->configure(), 2);
  ASSERT_TRUE((*device)->start());
  sim::CommandFault fault{sim::CommandFault::Kind::kSplit};
  fault.splitAt = 8;
  sim->injectCommandFault(sim::kShutDown, fault);
  testing::internal::CaptureStdout();
  EXPECT_FALSE((*device)->stop());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: Getting ACK for SHUT_DOWN command failed.\n");
}

TEST_P(CommandFaults, ShortStatusReplyIsAReadFailureWithoutTimeOut) {
  sim::CommandFault fault{sim::CommandFault::Kind::kShort};
  fault.length = 15;
  sim->injectCommandFault(sim::kGetStatus, fault);
  testing::internal::CaptureStdout();
  EXPECT_EQ((*device)->configure(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: Getting ACK for GET_STATUS command failed.\n");
}

INSTANTIATE_TEST_SUITE_P(Both, CommandFaults,
                         ::testing::Values(sim::Transport::kTcp, sim::Transport::kUdp),
                         [](const auto& info) {
                           return info.param == sim::Transport::kTcp ? "Tcp" : "Udp";
                         });

// A reply that never comes, through the module and its real bound: the one
// case here that waits for the reply wait to run out.
TEST(LostReply, StopEndsAtTheReplyWaitWithTheTimeOutWarning) {
  sim::Config config;
  config.units = 2;
  config.enableTcp = false;
  std::string address;
  auto sim = e2e::startSimulator(config, &address);
  ASSERT_TRUE(sim);
  CLogH log = plainLog("ms");
  HostStorages storages{log};
  e2e::Device device(
      "device ms motionstar 1\nmotionstaraddress " + address + "\nprotocol udp\nport 0\n", storages,
      &log);
  ASSERT_EQ(device.init(), 1);
  ASSERT_EQ(device->configure(), 2);
  ASSERT_TRUE(device->start());
  sim->injectCommandFault(sim::kStopData, {sim::CommandFault::Kind::kSilence});
  testing::internal::CaptureStdout();
  EXPECT_FALSE(device->stop());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: WARNING: CMotionStar: Time out for waiting reply.\n"
            "ms: ERROR: CMotionStar: Getting ACK for STOP_DATA command failed.\n");
}

}  // namespace
}  // namespace faults
