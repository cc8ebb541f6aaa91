// The data stream without sockets: its pacing against a given clock, and
// what each packet carries when faults change it.
#include "sim/stream.h"

#include <gtest/gtest.h>

#include "common/byte_order.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = sim::DataStream::Clock;
using std::chrono::milliseconds;

TEST(SimStream, LateWorkerCatchesUpTenPacketsThenSkipsAhead) {
  sim::Config config;
  config.rate = 100;
  sim::DataStream stream(config);
  stream.restart({2});
  const Clock::time_point t0 = Clock::now();
  EXPECT_EQ(stream.takeDue(t0), 0) << "not streaming yet";
  stream.start(sim::Peer{}, t0);
  EXPECT_EQ(stream.takeDue(t0), 0);
  EXPECT_EQ(stream.takeDue(t0 + milliseconds(10)), 1);
  EXPECT_EQ(stream.takeDue(t0 + milliseconds(35)), 2);
  // A second late: ten packets, and the next is due a period after now.
  EXPECT_EQ(stream.takeDue(t0 + milliseconds(1035)), 10);
  EXPECT_EQ(stream.takeDue(t0 + milliseconds(1044)), 0);
  EXPECT_EQ(stream.untilDue(t0 + milliseconds(1040), milliseconds(100)), milliseconds(5));
  EXPECT_EQ(stream.takeDue(t0 + milliseconds(1045)), 1);
  EXPECT_TRUE(stream.stop());
  EXPECT_EQ(stream.takeDue(t0 + milliseconds(5000)), 0);
  EXPECT_EQ(stream.untilDue(t0, milliseconds(100)), milliseconds(100));
}

TEST(SimStream, EveryPacketUsesUpItsIndexAndWandBytesWaitForAnAuxRecord) {
  sim::Config config;
  config.wanda = true;
  config.wandScript = {{0x41}, {0x42}};
  sim::DataStream stream(config);
  stream.restart({1, 3});
  stream.queueWandBytes(Bytes(40, 0x50));
  auto index = [](const Bytes& p) { return readU32be(&p[0]); };
  auto aux = [](const Bytes& p) { return Bytes(p.begin() + 16 + 2 * 14, p.end()); };
  auto words = [](const Bytes& p, int record) {
    std::array<int16_t, 6> w{};
    for (size_t i = 0; i < 6; ++i) w[i] = readI16be(&p[16 + 14 * record + 2 + 2 * i]);
    return w;
  };

  const Bytes first = stream.nextPacket(nullptr);
  EXPECT_EQ(index(first), 0u);
  EXPECT_EQ(first[16], 1);
  EXPECT_EQ(first[30], 3);
  EXPECT_EQ(words(first, 1), sim::Simulator::unitWords(3, 0));
  EXPECT_EQ(aux(first), (Bytes{0, 2, 0x41, 0, 0, 0, 0, 1}));

  const sim::DataFault noAux{sim::DataFault::Kind::kNoAux};
  const Bytes bare = stream.nextPacket(&noAux);
  EXPECT_EQ(index(bare), 1u);
  EXPECT_TRUE(aux(bare).empty());

  // The poses (and index) of the packet before; the wand group held back
  // by the packet without aux comes now.
  const sim::DataFault repeat{sim::DataFault::Kind::kRepeatPoses};
  const Bytes repeated = stream.nextPacket(&repeat);
  EXPECT_EQ(index(repeated), 1u);
  EXPECT_EQ(words(repeated, 0), sim::Simulator::unitWords(1, 1));
  EXPECT_EQ(aux(repeated), (Bytes{0, 2, 0x42, 0, 0, 0, 0, 1}));

  // Forty queued bytes go out as thirty and ten.
  const Bytes full = stream.nextPacket(nullptr);
  EXPECT_EQ(index(full), 3u);
  ASSERT_EQ(aux(full).size(), 34u);
  EXPECT_EQ(aux(full)[33], 30);
  ASSERT_EQ(aux(stream.nextPacket(nullptr)).size(), 14u);
  EXPECT_EQ(stream.nextIndex(), 5u);
}

}  // namespace
