// Faulty data packets through the module, over TCP and UDP: each fault gets
// the driver's answer, the next good packet is published whole, and the
// neighbours' storage elements never change.
#include <gtest/gtest.h>

#include <cstring>

#include "faults/fault_rig.h"

namespace faults {
namespace {

// The packet with the fault is received; returns recvData's result and
// what was printed.
int32_t receiveFaulty(Rig& rig, sim::DataFault fault, UpdatedMasks* masks, std::string* printed) {
  rig.sim().injectDataFault(fault);
  EXPECT_EQ(rig.sim().emitPackets(1), 1);
  testing::internal::CaptureStdout();
  const int32_t result = rig.receive(masks);
  *printed = testing::internal::GetCapturedStdout();
  return result;
}

std::string transportName(const testing::TestParamInfo<sim::Transport>& info) {
  return info.param == sim::Transport::kTcp ? "Tcp" : "Udp";
}

class DataFaults : public ::testing::TestWithParam<sim::Transport> {
 protected:
  Rig rig{GetParam()};
};

TEST_P(DataFaults, OversizedPacketPublishesItsRecordsAndDropsTheRest) {
  ASSERT_TRUE(rig.up());
  sim::DataFault fault{sim::DataFault::Kind::kOversized};
  fault.length = 300;  // more than the driver's buffer holds
  const uint64_t index = rig.sim().nextPacketIndex();
  UpdatedMasks masks;
  std::string printed;
  EXPECT_EQ(receiveFaulty(rig, fault, &masks, &printed), 1);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(e2e::maskWord(masks.tracker), kBothIds);
  rig.expectPublished(2, 2, index);
  rig.expectPublished(3, 3, index);
  // Over TCP the dropped bytes were read, so the next packet lines up.
  rig.expectGoodPacket();
  rig.expectGoodPacket();
  rig.expectNeighboursUntouched();
}

TEST_P(DataFaults, UnitAddressAboveTheBusFailsAfterTheRecordsBeforeIt) {
  ASSERT_TRUE(rig.up());
  sim::DataFault fault{sim::DataFault::Kind::kBadUnitAddress};
  fault.record = 1;
  fault.unitAddress = 0x7F;
  const uint64_t index = rig.sim().nextPacketIndex();
  UpdatedMasks masks;
  std::string printed;
  EXPECT_EQ(receiveFaulty(rig, fault, &masks, &printed), -1);
  EXPECT_EQ(printed, "ms: ERROR: CMotionStar: Receiving data failed.\n");
  EXPECT_EQ(e2e::maskWord(masks.tracker), 0x2u);
  rig.expectPublished(2, 2, index);
  rig.expectGoodPacket();
  rig.expectNeighboursUntouched();
}

TEST_P(DataFaults, RecordOfTheTransmitterNeverReachesTheSlotBeforeTheDevice) {
  ASSERT_TRUE(rig.up());
  // Unit 1 is the transmitter: its output ID would be the device's base, 1,
  // which is the first neighbour's element.
  sim::DataFault fault{sim::DataFault::Kind::kBadUnitAddress};
  fault.record = 0;
  fault.unitAddress = 1;
  UpdatedMasks masks;
  std::string printed;
  EXPECT_EQ(receiveFaulty(rig, fault, &masks, &printed), 1);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(e2e::maskWord(masks.tracker), 0x4u);
  rig.expectNeighboursUntouched();
  rig.expectGoodPacket();
}

TEST_P(DataFaults, DroppedPacketLeavesTheNextOneToBePublished) {
  ASSERT_TRUE(rig.up());
  rig.sim().injectDataFault({sim::DataFault::Kind::kDrop});
  EXPECT_EQ(rig.sim().emitPackets(1), 0);
  rig.expectGoodPacket();
  rig.expectNeighboursUntouched();
}

INSTANTIATE_TEST_SUITE_P(Both, DataFaults,
                         ::testing::Values(sim::Transport::kTcp, sim::Transport::kUdp),
                         transportName);

// Over UDP only: a datagram can arrive cut, while a TCP stream carries whole
// packets and a cut one would be a device that breaks its own framing.
TEST(ShortPacket, OverUdpPublishesOnlyTheWholeRecords) {
  Rig rig(sim::Transport::kUdp);
  ASSERT_TRUE(rig.up());
  sim::DataFault fault{sim::DataFault::Kind::kShort};
  fault.length = 16 + 14 + 5;  // the first record and part of the second
  const uint64_t index = rig.sim().nextPacketIndex();
  UpdatedMasks masks;
  std::string printed;
  EXPECT_EQ(receiveFaulty(rig, fault, &masks, &printed), 1);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(e2e::maskWord(masks.tracker), 0x2u);
  rig.expectPublished(2, 2, index);
  rig.expectGoodPacket();

  // Shorter than a header: nothing is decoded, not even the stale byte
  // count of the packet before.
  fault.length = 10;
  EXPECT_EQ(receiveFaulty(rig, fault, &masks, &printed), 1);
  EXPECT_EQ(e2e::maskWord(masks.tracker), 0u);
  rig.expectGoodPacket();
  rig.expectNeighboursUntouched();
}

// The same faults with the wand on: the aux record is where they land.
class WandFaults : public ::testing::TestWithParam<sim::Transport> {
 protected:
  Rig wandRig{GetParam(), true};
};

TEST_P(WandFaults, AuxCountsPastThePacketAreIgnored) {
  ASSERT_TRUE(wandRig.up());
  // A wand state first, so a wrongly decoded aux record would show.
  wandRig.sim().queueWandBytes(sim::Simulator::wandPacket(8, -4, true, false, 0));
  wandRig.expectGoodPacket();
  const ConData before = wandRig.storages().controller(2);
  ASSERT_EQ(e2e::recordId(before.header), 2u);

  wandRig.sim().injectDataFault({sim::DataFault::Kind::kGarbageAux});
  const uint64_t index = wandRig.sim().nextPacketIndex();
  ASSERT_EQ(wandRig.sim().emitPackets(1), 1);
  UpdatedMasks masks;
  EXPECT_EQ(wandRig.receive(&masks), 1);
  EXPECT_EQ(e2e::maskWord(masks.tracker), kBothIds);
  EXPECT_EQ(e2e::maskWord(masks.controller), 0u);
  wandRig.expectPublished(2, 2, index);
  const ConData after = wandRig.storages().controller(2);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);

  // The next wand packet is decoded from its own bytes.
  wandRig.sim().queueWandBytes(sim::Simulator::wandPacket(-8, 4, false, true, 1));
  ASSERT_EQ(wandRig.sim().emitPackets(1), 1);
  EXPECT_EQ(wandRig.receive(&masks), 1);
  EXPECT_EQ(e2e::maskWord(masks.controller), 0x2u);
  const ConData next = wandRig.storages().controller(2);
  EXPECT_NE(std::memcmp(&before, &next, sizeof before), 0);
  wandRig.expectNeighboursUntouched();
}

TEST_P(WandFaults, PacketWithoutAuxFinishesTheHeldWandPacket) {
  ASSERT_TRUE(wandRig.up());
  // Three bytes wait for the next start byte; a packet without aux part
  // decodes them.
  wandRig.sim().queueWandBytes(sim::Simulator::wandPacket(8, -4, true, false, -1));
  wandRig.expectGoodPacket();
  wandRig.sim().injectDataFault({sim::DataFault::Kind::kNoAux});
  ASSERT_EQ(wandRig.sim().emitPackets(1), 1);
  UpdatedMasks masks;
  EXPECT_EQ(wandRig.receive(&masks), 1);
  EXPECT_EQ(e2e::maskWord(masks.tracker), kBothIds);
  EXPECT_EQ(e2e::maskWord(masks.controller), 0x2u);
  const ConData wand = wandRig.storages().controller(2);
  // Valuator 1 = -(8) / 32, valuator 2 = (-4) / 32, first button pressed.
  auto be = [](const void* field) {
    const auto* p = static_cast<const uint8_t*>(field);
    return static_cast<int32_t>((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
                                (uint32_t{p[2]} << 8) | p[3]);
  };
  EXPECT_EQ(be(&wand.valuators[0]), -250);
  EXPECT_EQ(be(&wand.valuators[1]), -125);
  EXPECT_EQ(wand.buttons[0] & 0x1, 0x1);
  wandRig.expectGoodPacket();
  wandRig.expectNeighboursUntouched();
}

INSTANTIATE_TEST_SUITE_P(Both, WandFaults,
                         ::testing::Values(sim::Transport::kTcp, sim::Transport::kUdp),
                         transportName);

}  // namespace
}  // namespace faults
