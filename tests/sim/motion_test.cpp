// How the simulated sensors and wand move: seeded paths that differ per
// sensor and device and come back with their seed, positions mirrored into
// the unit's hemisphere, and a wand whose axes and buttons all move.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/byte_order.h"
#include "sim/hemisphere.h"
#include "sim/stream.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::array<int16_t, 6>;

// The six words of every record of a data packet of `records` records.
std::vector<Words> recordWords(const Bytes& packet, size_t records) {
  std::vector<Words> all;
  for (size_t r = 0; r < records; ++r) {
    Words w{};
    for (size_t i = 0; i < 6; ++i) w[i] = readI16be(&packet[16 + 14 * r + 2 + 2 * i]);
    all.push_back(w);
  }
  return all;
}

std::vector<Bytes> packets(uint64_t seed, int count) {
  sim::Config config;
  config.seed = seed;
  sim::DataStream stream(config);
  stream.restart({2, 3, 4});
  std::vector<Bytes> made;
  for (int i = 0; i < count; ++i) made.push_back(stream.nextPacket(nullptr));
  return made;
}

TEST(SimMotion, SeededPathsDifferPerSensorAndSeedAndComeBackWithTheirSeed) {
  const std::vector<Bytes> first = packets(7, 50);
  EXPECT_EQ(packets(7, 50), first) << "the same seed, the same stream";
  const std::vector<Bytes> other = packets(8, 50);
  for (size_t p = 0; p < first.size(); ++p) {
    const std::vector<Words> mine = recordWords(first[p], 3);
    const std::vector<Words> theirs = recordWords(other[p], 3);
    for (size_t r = 0; r < 3; ++r) {
      EXPECT_EQ(mine[r], sim::Simulator::unitWords(7, static_cast<int>(r) + 2, p));
      EXPECT_NE(mine[r], theirs[r]) << "another device (seed) moves otherwise";
      for (size_t q = r + 1; q < 3; ++q) EXPECT_NE(mine[r], mine[q]) << p << " " << r << q;
    }
  }
  // Seed 0 keeps the fixed loops.
  EXPECT_EQ(recordWords(packets(0, 1)[0], 3)[1], sim::Simulator::unitWords(3, 0));
}

TEST(SimMotion, SeededPathsStayAboveTheTransmitterAndMoveSmoothly) {
  for (uint64_t seed : {1, 2, 3, 99, 123456789}) {
    for (int unit : {2, 9, 33}) {
      Words before = sim::Simulator::unitWords(seed, unit, 0);
      int largestStep = 0;
      int lowestZ = 32767;
      int largest = 0;
      for (uint64_t index = 1; index < 30000; ++index) {
        const Words now = sim::Simulator::unitWords(seed, unit, index);
        for (size_t i = 0; i < 6; ++i) {
          largestStep = std::max(largestStep, std::abs(now[i] - before[i]));
          largest = std::max(largest, std::abs(static_cast<int>(now[i])));
        }
        lowestZ = std::min<int>(lowestZ, now[2]);
        before = now;
      }
      SCOPED_TRACE("seed " + std::to_string(seed) + " unit " + std::to_string(unit));
      EXPECT_GT(lowestZ, 0.05 * 32767);
      EXPECT_LE(largestStep, 150);
      EXPECT_LT(largest, 0.95 * 32767) << "well inside the range, whatever the seed";
    }
  }
}

TEST(SimMotion, PositionOutsideTheUnitsHemisphereIsReportedMirrored) {
  const Words truth{{100, -200, 300, 1000, 2000, 3000}};
  const Words mirrored{{-100, 200, -300, 1000, 2000, 3000}};
  // +X, -X, -Z, +Z, -Y, +Y
  const Words expected[6] = {truth, mirrored, mirrored, truth, truth, mirrored};
  for (uint8_t code = 0; code < 6; ++code) {
    EXPECT_EQ(sim::reportedInHemisphere(truth, code), expected[code]) << int{code};
  }
  EXPECT_EQ(sim::reportedInHemisphere(truth, 7), truth) << "an unknown code leaves it";
  const Words onThePlane{{0, -5, 0, 0, 0, 0}};
  EXPECT_EQ(sim::reportedInHemisphere(onThePlane, 2), onThePlane);
  EXPECT_EQ(sim::reportedInHemisphere(Words{{-32768, 1, 1, 0, 0, 0}}, 0),
            (Words{{32767, -1, -1, 0, 0, 0}}));
}

TEST(SimMotion, StreamMirrorsWhatTheUnitsHemisphereDoesNotFaceWhenModelled) {
  sim::Config config;
  config.units = 2;
  config.seed = 4;
  config.modelHemisphere = true;
  sim::DeviceModel device(config);
  sim::DataStream stream(config, &device);
  stream.restart(device.sensors());
  const Words truth = sim::Simulator::unitWords(4, 2, 0);
  ASSERT_GT(truth[2], 0);
  // The unit's setup: SEND_SETUP with the hemisphere code in data byte 10.
  auto setHemisphere = [&](uint8_t code) {
    Bytes setup = sim::makeHeader(sim::kSendSetup, 2, 0, 64);
    Bytes block = device.statusBlock(2);
    block[10] = code;
    setup.insert(setup.end(), block.begin(), block.end());
    device.carryOut(setup);
  };
  setHemisphere(3);  // +Z, where the sensor is
  EXPECT_EQ(recordWords(stream.nextPacket(nullptr), 1)[0], truth);
  setHemisphere(2);  // -Z
  const Words mirrored = recordWords(stream.nextPacket(nullptr), 1)[0];
  EXPECT_EQ(mirrored[2], -sim::Simulator::unitWords(4, 2, 1)[2]);
}

// The wand's state in one four-byte wand packet.
struct WandState {
  int x, y;
  bool buttons[3];
};

WandState decode(const Bytes& packet) {
  EXPECT_EQ(packet.size(), 4u);
  WandState s{};
  s.x = static_cast<int8_t>(((packet[0] & 0x03) << 6) | packet[1]);
  s.y = static_cast<int8_t>(((packet[0] & 0x0C) << 4) | packet[2]);
  s.buttons[0] = (packet[0] & 0x10) != 0;
  s.buttons[1] = (packet[0] & 0x20) != 0;
  s.buttons[2] = (packet[3] & 0x20) != 0;
  return s;
}

TEST(SimMotion, ScriptedWandMovesBothAxesOnTheirOwnAndPressesEveryButton) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::vector<Bytes> script = sim::Simulator::wandScript(seed);
    ASSERT_EQ(script.size(), sim::kWandScriptPackets);
    EXPECT_NE(script, sim::Simulator::wandScript(seed + 1));
    int pressed[3] = {0, 0, 0};
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (const Bytes& packet : script) {
      const WandState s = decode(packet);
      for (int b = 0; b < 3; ++b) pressed[b] += s.buttons[b];
      EXPECT_LE(std::abs(s.x), 32);
      EXPECT_LE(std::abs(s.y), 32);
      sx += s.x;
      sy += s.y;
      sxx += s.x * s.x;
      syy += s.y * s.y;
      sxy += s.x * s.y;
    }
    for (int b = 0; b < 3; ++b) {
      EXPECT_GE(pressed[b], 30) << "button " << b;
      EXPECT_LE(pressed[b], 90) << "button " << b;
    }
    // Uncorrelated axes: neither follows the other, nor its mirror image.
    const double n = static_cast<double>(script.size());
    const double correlation =
        (sxy - sx * sy / n) / std::sqrt((sxx - sx * sx / n) * (syy - sy * sy / n));
    EXPECT_LT(std::fabs(correlation), 0.2);
    EXPECT_GT(sxx / n, 300) << "the x axis swings wide";
    EXPECT_GT(syy / n, 300) << "the y axis swings wide";
  }
}

}  // namespace
