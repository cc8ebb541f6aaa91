// The hemisphere option against a simulator that reports positions as a
// magnetic tracker does: its sensors move above the transmitter, so the
// right hemisphere publishes where they are and the wrong one their mirror
// image through the transmitter.
#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "support/plain_log.h"

namespace e2e {
namespace {

constexpr uint64_t kSeed = 11;

struct Case {
  const char* hemisphere;
  bool mirrored;
};

class Hemisphere : public ::testing::TestWithParam<sim::Transport> {
 protected:
  // Brings a device set to `hemisphere` up against a fresh simulator and
  // expects five packets of its two trackers published, true or mirrored.
  void expectPublished(const Case& c) {
    SCOPED_TRACE(std::string("hemisphere ") + c.hemisphere);
    const bool udp = GetParam() == sim::Transport::kUdp;
    sim::Config config;
    config.units = 3;
    config.seed = kSeed;
    config.modelHemisphere = true;
    config.enableTcp = !udp;
    config.enableUdp = udp;
    std::string address;
    auto simulator = startSimulator(config, &address);
    ASSERT_TRUE(simulator);
    CLogH log = plainLog("ms");
    HostStorages storages{log};
    Device device("device ms motionstar 2\nmotionstaraddress " + address + "\nprotocol " +
                      (udp ? "udp\nport 0\n" : "tcp\n") + "hemisphere " + c.hemisphere + "\n",
                  storages, &log);
    testing::internal::CaptureStdout();
    const bool up = device.init() == 1 && device->configure() == 2 && device->start();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(up);

    for (int round = 0; round < 5; ++round) {
      const uint64_t index = simulator->nextPacketIndex();
      ASSERT_EQ(simulator->emitPackets(1), 1);
      UpdatedMasks masks;
      ASSERT_EQ(device.receive(&masks), 1);
      ASSERT_EQ(maskWord(masks.tracker), 0x3u);
      for (uint32_t id = 1; id <= 2; ++id) {
        std::array<int16_t, 6> words =
            sim::Simulator::unitWords(kSeed, static_cast<int>(id) + 1, index);
        ASSERT_GT(words[2], 0) << "the sensor is above the transmitter";
        if (c.mirrored) {
          for (int i = 0; i < 3; ++i) words[i] = static_cast<int16_t>(-words[i]);
        }
        const std::array<double, 6> want = expectedPose(words);
        const std::array<double, 6> got = publishedPose(storages.tracker(id));
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 2e-5) << "id " << id << " #" << i;
      }
    }
    EXPECT_TRUE(device->stop());
  }
};

TEST_P(Hemisphere, RightOnePublishesTheTruePositionAndTheWrongOneItsMirrorImage) {
  for (const Case& c : {Case{"+z", false}, Case{"-z", true}}) expectPublished(c);
}

INSTANTIATE_TEST_SUITE_P(Both, Hemisphere,
                         ::testing::Values(sim::Transport::kTcp, sim::Transport::kUdp),
                         [](const auto& info) {
                           return info.param == sim::Transport::kTcp ? "Tcp" : "Udp";
                         });

}  // namespace
}  // namespace e2e
