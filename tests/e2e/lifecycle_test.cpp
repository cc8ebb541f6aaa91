// The whole lifecycle against the simulator over TCP and UDP: setups sent to
// the right units, poses published where they belong, only changes flagged.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "e2e/harness.h"
#include "support/loopback_probe.h"
#include "support/plain_log.h"

namespace e2e {
namespace {

class Lifecycle : public ::testing::TestWithParam<sim::Transport> {
 protected:
  bool udp() const { return GetParam() == sim::Transport::kUdp; }

  std::unique_ptr<sim::Simulator> simulator(int trackers, int erc = 1) {
    sim::Config config;
    config.units = trackers + 1;
    config.ercAddress = erc;
    config.enableTcp = !udp();
    config.enableUdp = udp();
    return startSimulator(config, &address);
  }

  std::string config(int trackers, const std::string& extra = "") const {
    return "device ms motionstar " + std::to_string(trackers) + "\nmotionstaraddress " + address +
           "\nprotocol " + (udp() ? "udp\nport 0\n" : "tcp\n") + extra;
  }

  static void bringUp(Device& device) {
    ASSERT_EQ(device.init(), 1);
    ASSERT_EQ(device->configure(), 2);
    ASSERT_TRUE(device->start());
  }

  static std::set<int> setupUnits(const sim::Simulator& simulator) {
    std::set<int> units;
    for (const sim::Received& r : simulator.received()) {
      if (r.code == sim::kSendSetup) units.insert(r.unitAddress);
    }
    return units;
  }

  // Expects tracker output ID `id` to hold unit `unit`'s pose of packet `index`.
  void expectPublished(uint32_t id, int unit, uint64_t index) {
    TraData record = storages.tracker(id);
    EXPECT_EQ(recordId(record.header), id);
    std::array<double, 6> want = expectedPose(sim::Simulator::unitWords(unit, index));
    std::array<double, 6> got = publishedPose(record);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 2e-5) << "id " << id << " #" << i;
  }

  CLogH log = plainLog("ms");
  HostStorages storages{log};
  std::string address;
};

TEST_P(Lifecycle, TransmitterFirstPublishesUnitsTwoAndThreeAsTrackersOneAndTwo) {
  auto sim = simulator(2, 1);
  ASSERT_TRUE(sim);
  Device device(config(2), storages, &log);
  bringUp(device);
  EXPECT_EQ(setupUnits(*sim), (std::set<int>{0, 2, 3}));
  EXPECT_EQ(storages.trackerCount(), 2u);

  for (int round = 0; round < 3; ++round) {
    const uint64_t index = sim->nextPacketIndex();
    ASSERT_EQ(sim->emitPackets(1), 1);
    UpdatedMasks masks;
    ASSERT_EQ(device.receive(&masks), 1);
    EXPECT_EQ(maskWord(masks.tracker), 0x3u);
    EXPECT_EQ(maskWord(masks.controller), 0u);
    expectPublished(1, 2, index);
    expectPublished(2, 3, index);
  }

  EXPECT_TRUE(device->stop());
  std::vector<uint8_t> codes;
  for (const sim::Received& r : sim->received()) codes.push_back(r.code);
  ASSERT_GE(codes.size(), 2u);
  EXPECT_EQ(codes[codes.size() - 2], sim::kStopData);
  EXPECT_EQ(codes.back(), sim::kShutDown);
}

TEST_P(Lifecycle, TransmitterLastLeavesUnitsOneAndTwoAsTrackers) {
  auto sim = simulator(2, 3);
  ASSERT_TRUE(sim);
  Device device(config(2, "erc 3\n"), storages, &log);
  bringUp(device);
  EXPECT_EQ(setupUnits(*sim), (std::set<int>{0, 1, 2}));
  const uint64_t index = sim->nextPacketIndex();
  ASSERT_EQ(sim->emitPackets(1), 1);
  UpdatedMasks masks;
  ASSERT_EQ(device.receive(&masks), 1);
  EXPECT_EQ(maskWord(masks.tracker), 0x3u);
  expectPublished(1, 1, index);
  expectPublished(2, 2, index);
  EXPECT_TRUE(device->stop());
}

TEST_P(Lifecycle, ThirtyTwoTrackersFillTheStorage) {
  auto sim = simulator(32);
  ASSERT_TRUE(sim);
  Device device(config(32), storages, &log);
  bringUp(device);
  const uint64_t index = sim->nextPacketIndex();
  ASSERT_EQ(sim->emitPackets(1), 1);
  UpdatedMasks masks;
  ASSERT_EQ(device.receive(&masks), 1);
  EXPECT_EQ(maskWord(masks.tracker), 0xFFFFFFFFu);
  for (uint32_t id = 1; id <= 32; ++id) expectPublished(id, static_cast<int>(id) + 1, index);
  EXPECT_TRUE(device->stop());
}

TEST_P(Lifecycle, UnchangedPosesAreNotPublishedAgain) {
  auto sim = simulator(2);
  ASSERT_TRUE(sim);
  Device device(config(2), storages, &log);
  bringUp(device);
  UpdatedMasks masks;
  ASSERT_EQ(sim->emitPackets(1), 1);
  ASSERT_EQ(device.receive(&masks), 1);
  EXPECT_EQ(maskWord(masks.tracker), 0x3u);
  const TraData before = storages.tracker(1);

  sim->injectDataFault({sim::DataFault::Kind::kRepeatPoses});
  ASSERT_EQ(sim->emitPackets(1), 1);
  ASSERT_EQ(device.receive(&masks), 1);
  EXPECT_EQ(maskWord(masks.tracker), 0u);
  const TraData after = storages.tracker(1);
  EXPECT_EQ(after.header.seconds, before.header.seconds);  // not even re-stamped
  EXPECT_EQ(after.header.microseconds, before.header.microseconds);

  ASSERT_EQ(sim->emitPackets(1), 1);
  ASSERT_EQ(device.receive(&masks), 1);
  EXPECT_EQ(maskWord(masks.tracker), 0x3u);
  EXPECT_TRUE(device->stop());
}

TEST_P(Lifecycle, SecondDeviceTakesTheSlotsAfterTheFirst) {
  if (udp() && !loopback_probe::udpAddressesStayApart()) {
    GTEST_SKIP() << "two UDP simulators need two loopback addresses on one port, and this system "
                    "widens a UDP bind to 127.x.y.z to every address (Wine does this)";
  }
  std::string firstAddress;
  sim::Config firstConfig;
  firstConfig.units = 5;
  firstConfig.enableTcp = !udp();
  firstConfig.enableUdp = udp();
  auto firstSim = startSimulator(firstConfig, &firstAddress);
  auto secondSim = simulator(2);
  ASSERT_TRUE(firstSim && secondSim);
  std::string firstText = "device first motionstar 4\nmotionstaraddress " + firstAddress +
                          "\nprotocol " + (udp() ? "udp\nport 0\n" : "tcp\n");
  Device first(firstText, storages, &log);
  Device second(config(2), storages, &log);
  bringUp(first);
  bringUp(second);
  EXPECT_EQ(storages.trackerCount(), 6u);

  UpdatedMasks masks;
  ASSERT_EQ(firstSim->emitPackets(1), 1);
  ASSERT_EQ(first.receive(&masks), 1);
  EXPECT_EQ(maskWord(masks.tracker), 0xFu);
  const TraData firstsFourth = storages.tracker(4);

  const uint64_t index = secondSim->nextPacketIndex();
  ASSERT_EQ(secondSim->emitPackets(1), 1);
  ASSERT_EQ(second.receive(&masks), 1);
  EXPECT_EQ(maskWord(masks.tracker), 0x30u);  // IDs 5 and 6
  expectPublished(5, 2, index);
  expectPublished(6, 3, index);
  const TraData unchanged = storages.tracker(4);
  EXPECT_EQ(std::memcmp(&unchanged, &firstsFourth, sizeof unchanged), 0);
  EXPECT_TRUE(first->stop());
  EXPECT_TRUE(second->stop());
}

TEST_P(Lifecycle, FourDevicesFillTheStorageEachInItsOwnSlots) {
  if (udp() && !loopback_probe::udpAddressesStayApart()) {
    GTEST_SKIP() << "four UDP simulators need four loopback addresses on one port, and this system "
                    "widens a UDP bind to 127.x.y.z to every address (Wine does this)";
  }
  std::vector<std::unique_ptr<sim::Simulator>> simulators;
  std::vector<std::unique_ptr<Device>> devices;
  for (int d = 0; d < 4; ++d) {
    simulators.push_back(simulator(8));
    ASSERT_TRUE(simulators.back());
    devices.push_back(std::make_unique<Device>(config(8), storages, &log));
    bringUp(*devices.back());
  }
  EXPECT_EQ(storages.trackerCount(), 32u);

  for (uint32_t d = 0; d < 4; ++d) {
    const uint64_t index = simulators[d]->nextPacketIndex();
    ASSERT_EQ(simulators[d]->emitPackets(1), 1);
    UpdatedMasks masks;
    ASSERT_EQ(devices[d]->receive(&masks), 1);
    EXPECT_EQ(maskWord(masks.tracker), 0xFFu << (8 * d));
    for (uint32_t k = 1; k <= 8; ++k) expectPublished(8 * d + k, static_cast<int>(k) + 1, index);
  }
  for (auto& device : devices) EXPECT_TRUE((*device)->stop());
}

TEST_P(Lifecycle, BadUnitAddressFailsThePacketAfterTheRecordsBeforeIt) {
  auto sim = simulator(2);
  ASSERT_TRUE(sim);
  Device device(config(2), storages, &log);
  bringUp(device);
  sim::DataFault fault{sim::DataFault::Kind::kBadUnitAddress};
  fault.record = 1;
  fault.unitAddress = 0;
  sim->injectDataFault(fault);
  ASSERT_EQ(sim->emitPackets(1), 1);
  UpdatedMasks masks;
  testing::internal::CaptureStdout();
  EXPECT_EQ(device.receive(&masks), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: Receiving data failed.\n");
  EXPECT_EQ(maskWord(masks.tracker), 0x1u);

  // The next good packet is published whole.
  const uint64_t index = sim->nextPacketIndex();
  ASSERT_EQ(sim->emitPackets(1), 1);
  ASSERT_EQ(device.receive(&masks), 1);
  EXPECT_EQ(maskWord(masks.tracker), 0x3u);
  expectPublished(2, 3, index);
  EXPECT_TRUE(device->stop());
}

TEST_P(Lifecycle, RecordWithTheTransmittersAddressIsDropped) {
  auto sim = simulator(2);
  ASSERT_TRUE(sim);
  Device device(config(2), storages, &log);
  bringUp(device);
  sim::DataFault fault{sim::DataFault::Kind::kBadUnitAddress};
  fault.record = 0;
  fault.unitAddress = 1;  // the ERC
  sim->injectDataFault(fault);
  const uint64_t index = sim->nextPacketIndex();
  ASSERT_EQ(sim->emitPackets(1), 1);
  UpdatedMasks masks;
  testing::internal::CaptureStdout();
  EXPECT_EQ(device.receive(&masks), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(maskWord(masks.tracker), 0x2u);
  expectPublished(2, 3, index);
  EXPECT_EQ(recordId(storages.tracker(1).header), 0u);  // never written
  EXPECT_TRUE(device->stop());
}

INSTANTIATE_TEST_SUITE_P(Both, Lifecycle,
                         ::testing::Values(sim::Transport::kTcp, sim::Transport::kUdp),
                         [](const auto& info) {
                           return info.param == sim::Transport::kTcp ? "Tcp" : "Udp";
                         });

}  // namespace
}  // namespace e2e
