// Layouts of the simulator's blocks and packets, against bytes written out
// from the protocol's tables.
#include "sim/packets.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/byte_order.h"
#include "sim/device_model.h"
#include "sim/simulator.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimPackets, HeaderCarriesTypeUnitVersionErrorAndCount) {
  EXPECT_EQ(sim::makeHeader(201, 3, 7, 0x0150),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xC9, 3, 3, 7, 0, 0, 0x01, 0x50}));
}

TEST(SimPackets, SystemBlockLayout) {
  sim::Config config;
  config.units = 3;
  config.ercAddress = 1;
  config.chassisId = -2;
  config.transmitterNumber = 1;
  EXPECT_EQ(sim::makeSystemBlock(config), (Bytes{0x84, 0, 0, 0, 0x11, '1', '0', '3', '3', '0', '0',
                                                 0xFE, 0, 0, 0, 0, 0xD1, 0xE0, 0xE0}));

  // The ERC's place follows its address; given status bytes win over the derived ones.
  config.ercAddress = 3;
  config.transmitterNumber = 0;
  config.deviceStatus = {0x71};
  const Bytes block = sim::makeSystemBlock(config);
  ASSERT_EQ(block.size(), 19u);
  EXPECT_EQ(block[4], 0x30);
  EXPECT_EQ((Bytes{block[16], block[17], block[18]}), (Bytes{0x71, 0xE0, 0xD1}));
}

TEST(SimPackets, UnitBlockLayout) {
  sim::UnitSetup setup;
  setup.reportRate = -8;
  setup.scaling = 0x0120;
  setup.hemisphere = 5;
  setup.alphaMin = {{1, 2, 3, 4, 5, 6, 0x0708}};
  setup.alphaMax.fill(0x7333);
  setup.vm = {{0x0102, 0, 0, 0, 0, 0, 0xFFFF}};
  setup.angles = {{16383, 0, -16384}};
  const Bytes block = sim::makeUnitBlock(setup);
  Bytes expected(64, 0);
  expected[7] = 0xF8;
  expected[8] = 0x01;
  expected[9] = 0x20;
  expected[10] = 5;
  const Bytes alphaMin{0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 7, 8};
  std::copy(alphaMin.begin(), alphaMin.end(), expected.begin() + 16);
  for (size_t i = 30; i < 44; i += 2) {
    expected[i] = 0x73;
    expected[i + 1] = 0x33;
  }
  expected[44] = 0x01;
  expected[45] = 0x02;
  expected[56] = 0xFF;
  expected[57] = 0xFF;
  const Bytes angles{0x3F, 0xFF, 0x00, 0x00, 0xC0, 0x00};
  std::copy(angles.begin(), angles.end(), expected.begin() + 58);
  EXPECT_EQ(block, expected);
}

TEST(SimPackets, AuxRecordPlacesWandBytesAndTheirCount) {
  // w = 2: four bytes of room, the count at offset 2w + 3 = 7.
  EXPECT_EQ(sim::makeAuxRecord({}), (Bytes{0, 2, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sim::makeAuxRecord({0x40, 0x01, 0x02}), (Bytes{0, 2, 0x40, 0x01, 0x02, 0, 0, 3}));
  EXPECT_EQ(sim::makeAuxRecord({0x50, 1, 2, 0x20}), (Bytes{0, 2, 0x50, 1, 2, 0x20, 0, 4}));
  // Five bytes need w = 3; the count moves to offset 9.
  EXPECT_EQ(sim::makeAuxRecord({1, 2, 3, 4, 5}), (Bytes{0, 3, 1, 2, 3, 4, 5, 0, 0, 5}));
  // The word count has four bits: at most 30 bytes fit.
  const Bytes many = sim::makeAuxRecord(Bytes(40, 0x11));
  ASSERT_EQ(many.size(), 34u);
  EXPECT_EQ(many[1], 15);
  EXPECT_EQ(many[33], 30);
}

TEST(SimPackets, DataPacketLayout) {
  const Bytes aux = sim::makeAuxRecord({0x40, 0x01, 0x02});
  const std::vector<sim::UnitRecord> records{{2, {{1, -1, 0x1234, -32768, 32767, 0}}},
                                             {0x83, {{0, 0, 0, 0, 0, 0x0102}}}};
  const Bytes packet = sim::makeDataPacket(0x01020304, records, aux);
  // Two units: 16 + 2 x 14 + 8 bytes, the aux record at 44.
  ASSERT_EQ(packet.size(), 52u);
  auto part = [&](size_t from, size_t to) {
    return Bytes(packet.begin() + from, packet.begin() + to);
  };
  EXPECT_EQ(part(0, 16), (Bytes{1, 2, 3, 4, 0, 0, 0, 0, 210, 0, 3, 0, 0, 0, 0, 36}));
  EXPECT_EQ(part(16, 30), (Bytes{2, 0, 0, 1, 0xFF, 0xFF, 0x12, 0x34, 0x80, 0, 0x7F, 0xFF, 0, 0}));
  // The address byte keeps seven bits.
  EXPECT_EQ(part(30, 44), (Bytes{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2}));
  EXPECT_EQ(part(44, 52), aux);

  const Bytes bare = sim::makeDataPacket(7, {records[0]}, {});
  ASSERT_EQ(bare.size(), 30u);
  EXPECT_EQ(readU32be(&bare[0]), 7u);
  EXPECT_EQ(readU16be(&bare[14]), 14);
}

TEST(SimPackets, UnitWordsAreKnownSmoothAndPeriodic) {
  using Words = std::array<int16_t, 6>;
  EXPECT_EQ(sim::Simulator::unitWords(0, 0), (Words{0, 9000, 0, 0, 0, 9000}));
  // A quarter of the loop later.
  EXPECT_EQ(sim::Simulator::unitWords(0, 900), (Words{9000, 0, 0, 12000, 0, 0}));
  EXPECT_NE(sim::Simulator::unitWords(1, 10), sim::Simulator::unitWords(2, 10));
  for (int unit = 1; unit <= 4; ++unit) {
    EXPECT_EQ(sim::Simulator::unitWords(unit, 17), sim::Simulator::unitWords(unit, 3617));
    // Across the wrap too: no step between neighbouring packets exceeds 60 counts.
    for (uint64_t i = 0; i <= 3600; ++i) {
      const Words a = sim::Simulator::unitWords(unit, i);
      const Words b = sim::Simulator::unitWords(unit, i + 1);
      for (size_t w = 0; w < 6; ++w) {
        ASSERT_LE(std::abs(a[w] - b[w]), 60) << "unit " << unit << " packet " << i;
      }
      // Elevation stays inside +-90 degrees.
      ASSERT_LE(std::abs(a[4]), 16383);
    }
  }
}

TEST(SimPackets, WandPacketBitLayout) {
  using sim::Simulator;
  EXPECT_EQ(Simulator::wandPacket(1, 2, false, false, -1), (Bytes{0x40, 0x01, 0x02}));
  EXPECT_EQ(Simulator::wandPacket(-1, -32, true, false, -1), (Bytes{0x5F, 0x3F, 0x20}));
  EXPECT_EQ(Simulator::wandPacket(0, 0, false, true, 1), (Bytes{0x60, 0x00, 0x00, 0x20}));
  EXPECT_EQ(Simulator::wandPacket(0, 0, false, false, 0), (Bytes{0x40, 0x00, 0x00, 0x00}));
  // Every motion comes back from the bits a reader takes, and only the
  // first byte starts a packet.
  for (int x = -128; x < 128; x += 3) {
    for (int y = -128; y < 128; y += 5) {
      const Bytes b =
          Simulator::wandPacket(static_cast<int8_t>(x), static_cast<int8_t>(y), true, true, 1);
      ASSERT_EQ(b.size(), 4u);
      EXPECT_EQ(static_cast<int8_t>(((b[0] & 0x03) << 6) | (b[1] & 0x3F)), x);
      EXPECT_EQ(static_cast<int8_t>(((b[0] & 0x0C) << 4) | (b[2] & 0x3F)), y);
      EXPECT_EQ(b[0] & 0x70, 0x70);
      EXPECT_EQ((b[1] | b[2] | b[3]) & 0x40, 0);
    }
  }
}

}  // namespace
