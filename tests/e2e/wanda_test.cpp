// The wand on the aux port: bytes from the simulator arrive as ConData, with
// the default maps and with reordered ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "common/logger.h"
#include "e2e/harness.h"
#include "support/plain_log.h"

namespace e2e {
namespace {

struct WandState {
  std::vector<double> valuators;
  std::vector<int> buttons;
};

WandState published(HostStorages& storages, uint32_t id) {
  ConData record = storages.controller(id);
  auto be = [](const void* field) {
    const auto* p = static_cast<const uint8_t*>(field);
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  };
  WandState state;
  for (uint32_t i = 0; i < be(&record.valuatorCount); ++i) {
    state.valuators.push_back(static_cast<int32_t>(be(&record.valuators[i])) / 1000.0);
  }
  for (uint32_t b = 0; b < be(&record.buttonCount); ++b) {
    state.buttons.push_back((record.buttons[b / 8] >> (b % 8)) & 1);
  }
  return state;
}

class Wanda : public ::testing::TestWithParam<sim::Transport> {
 protected:
  void start(const std::string& extraOptions) {
    sim::Config config;
    config.units = 3;
    config.wanda = true;
    config.wandScript = script;
    config.enableTcp = GetParam() == sim::Transport::kTcp;
    config.enableUdp = !config.enableTcp;
    std::string address;
    simulator = startSimulator(config, &address);
    ASSERT_TRUE(simulator);
    device = std::make_unique<Device>(
        "device w motionstar 2\nmotionstaraddress " + address + "\nprotocol " +
            (config.enableTcp ? "tcp\n" : "udp\nport 0\n") + "wanda 1\n" + extraOptions,
        storages, &log);
    ASSERT_EQ(device->init(), 1);
    ASSERT_EQ((*device)->configure(), 1);  // the data kind of a device with a wand
    ASSERT_TRUE((*device)->start());
  }

  // Sends one packet carrying `bytes` and returns the controller mask.
  uint32_t packetWith(std::vector<uint8_t> bytes) {
    simulator->queueWandBytes(std::move(bytes));
    EXPECT_EQ(simulator->emitPackets(1), 1);
    UpdatedMasks masks;
    EXPECT_EQ(device->receive(&masks), 1);
    return maskWord(masks.controller);
  }

  void TearDown() override {
    if (device) {
      EXPECT_TRUE((*device)->stop());
    }
  }

  std::vector<std::vector<uint8_t>> script;  // the simulator's wand script
  CLogH log = plainLog("w");
  HostStorages storages{log};
  std::unique_ptr<sim::Simulator> simulator;
  std::unique_ptr<Device> device;
};

TEST_P(Wanda, DefaultMapsPublishButtonsAndAxes) {
  start("");
  EXPECT_EQ(storages.controllerCount(), 1u);
  // A four-byte packet is decoded as soon as it is whole.
  EXPECT_EQ(packetWith(sim::Simulator::wandPacket(1, 2, true, false, 1)), 0x1u);
  WandState state = published(storages, 1);
  EXPECT_EQ(state.valuators, (std::vector<double>{-0.031, 0.062}));
  EXPECT_EQ(state.buttons, (std::vector<int>{1, 1, 0}));

  // A three-byte packet waits for the next start byte.
  EXPECT_EQ(packetWith(sim::Simulator::wandPacket(-100, 32, false, true, -1)), 0x0u);
  EXPECT_EQ(packetWith(sim::Simulator::wandPacket(-100, 32, false, true, -1)), 0x1u);
  state = published(storages, 1);
  EXPECT_EQ(state.valuators, (std::vector<double>{1.0, 1.0}));  // -100 is limited to -32
  EXPECT_EQ(state.buttons, (std::vector<int>{0, 1, 1}));        // the fourth-byte button holds

  // The same state again publishes nothing.
  EXPECT_EQ(packetWith(sim::Simulator::wandPacket(-100, 32, false, true, -1)), 0x0u);
}

TEST_P(Wanda, ReorderedMapsRenumberButtonsAndValuators) {
  start("buttonorder 1 3 1 2\nvaluatororder 1 2 1\n");
  EXPECT_EQ(packetWith(sim::Simulator::wandPacket(4, -8, true, false, 0)), 0x1u);
  WandState state = published(storages, 1);
  // Raw valuator 2 is output 1, raw 1 output 2.
  EXPECT_EQ(state.valuators, (std::vector<double>{-0.25, -0.125}));
  // Raw 3 (second button) -> 1, raw 1 (first) -> 2, raw 2 (fourth-byte) -> 3.
  EXPECT_EQ(state.buttons, (std::vector<int>{0, 1, 0}));
}

TEST_P(Wanda, PacketWithoutAuxPartReleasesTheIdleState) {
  start("");
  EXPECT_EQ(packetWith(sim::Simulator::wandPacket(8, 8, true, false, 1)), 0x1u);
  simulator->setAuxRecord(false);
  // The held four-byte packet is decoded again (no change), then forgotten.
  EXPECT_EQ(packetWith({}), 0x0u);
  // Nothing held: an idle packet, motion 0, buttons from the last start byte.
  EXPECT_EQ(packetWith({}), 0x1u);
  WandState state = published(storages, 1);
  EXPECT_EQ(state.valuators, (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(state.buttons[0], 1);
  EXPECT_EQ(state.buttons[1], 1);
}

TEST_P(Wanda, ScriptedWandPressesEveryButtonAndMovesBothAxesOnTheirOwn) {
  script = sim::Simulator::wandScript(5);
  start("");
  int pressed[3] = {0, 0, 0};
  double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  int states = 0;
  for (size_t packet = 0; packet < sim::kWandScriptPackets; ++packet) {
    ASSERT_EQ(simulator->emitPackets(1), 1);
    UpdatedMasks masks;
    ASSERT_EQ(device->receive(&masks), 1);
    const WandState state = published(storages, 1);
    ASSERT_EQ(state.buttons.size(), 3u);
    ASSERT_EQ(state.valuators.size(), 2u);
    for (int b = 0; b < 3; ++b) pressed[b] += state.buttons[static_cast<size_t>(b)];
    const double x = state.valuators[0], y = state.valuators[1];
    sx += x;
    sy += y;
    sxx += x * x;
    syy += y * y;
    sxy += x * y;
    ++states;
  }
  for (int b = 0; b < 3; ++b) EXPECT_GE(pressed[b], 30) << "button " << b + 1;
  const double n = states;
  const double correlation =
      (sxy - sx * sy / n) / std::sqrt((sxx - sx * sx / n) * (syy - sy * sy / n));
  EXPECT_LT(std::fabs(correlation), 0.2);
  EXPECT_GT(sxx / n, 0.25) << "valuator 1 swings";
  EXPECT_GT(syy / n, 0.25) << "valuator 2 swings";
}

// The host took the slots back (its counts went to 0) under a running device:
// nothing is written outside the storage's count, the tracker that has no
// element fails the packet, the wand's missing element does not.
TEST_P(Wanda, ElementsTheStorageNoLongerHoldsAreReportedAndLeftAlone) {
  log.debugLevel = logh::kDeviceOwnerLevel;
  start("");
  auto traces = [](const std::string& output) {
    std::vector<std::string> kept;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
      if (line.find("rawID: 0 ") != std::string::npos ||
          line.find("storage") != std::string::npos || line.find("failed") != std::string::npos) {
        kept.push_back(line);
      }
    }
    return kept;
  };
  testing::internal::CaptureStdout();
  EXPECT_EQ(packetWith(sim::Simulator::wandPacket(1, 2, true, false, 1)), 0x1u);
  EXPECT_EQ(traces(testing::internal::GetCapturedStdout()),
            (std::vector<std::string>{"w: DEBUG: CMotionStar: TraData storage found",
                                      "w: DEBUG: CMotionStar: TraData storage found",
                                      "w: DEBUG: CMotionStar: rawID: 0 newConID: 1",
                                      "w: DEBUG: CMotionStar: ConData storage found"}));

  storages.preset(0, 0, 0xA5);
  simulator->queueWandBytes(sim::Simulator::wandPacket(-7, 9, false, true, 0));
  ASSERT_EQ(simulator->emitPackets(1), 1);
  UpdatedMasks masks;
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->receive(&masks), -1);
  EXPECT_EQ(traces(testing::internal::GetCapturedStdout()),
            (std::vector<std::string>{"w: ERROR: CMotionStar: TraData storage not found",
                                      "w: DEBUG: CMotionStar: rawID: 0 newConID: 1",
                                      "w: ERROR: CMotionStar: ConData storage not found",
                                      "w: ERROR: CMotionStar: Receiving data failed."}));
  const ConData wand = storages.controller(1);
  const TraData tracker = storages.tracker(1);
  const auto untouched = [](const void* record, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(record);
    return std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0xA5; });
  };
  EXPECT_TRUE(untouched(&wand, sizeof wand));
  EXPECT_TRUE(untouched(&tracker, sizeof tracker));
}

INSTANTIATE_TEST_SUITE_P(Both, Wanda, ::testing::Values(sim::Transport::kTcp, sim::Transport::kUdp),
                         [](const auto& info) {
                           return info.param == sim::Transport::kTcp ? "Tcp" : "Udp";
                         });

}  // namespace
}  // namespace e2e
