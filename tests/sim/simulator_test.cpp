// The simulator over real loopback sockets: replies, status blocks that
// setup rewrites, the data stream and the wand bytes in it.
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "client.h"
#include "common/byte_order.h"
#include "support/loopback_probe.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::Transport;
using simtest::Client;
using simtest::command;

constexpr std::chrono::milliseconds kLimit(3000);

sim::Config loopbackConfig() {
  sim::Config config;
  config.tcpPort = 0;
  config.udpPort = 0;
  return config;
}

struct Running {
  explicit Running(sim::Config config, Transport transport) : simulator(std::move(config)) {
    std::string error;
    started = simulator.start(&error);
    EXPECT_TRUE(started) << error;
    client = std::make_unique<Client>(
        transport, transport == Transport::kTcp ? simulator.tcpPort() : simulator.udpPort());
    EXPECT_TRUE(client->ok());
  }
  // Sends a command and returns the first packet that answers it.
  Bytes exchange(const Bytes& bytes) {
    EXPECT_TRUE(client->send(bytes));
    return client->receivePacket();
  }
  sim::Simulator simulator;
  bool started = false;
  std::unique_ptr<Client> client;
};

Bytes header(const Bytes& packet) {
  return Bytes(packet.begin(), packet.begin() + std::min<size_t>(16, packet.size()));
}

class SimOverTransport : public ::testing::TestWithParam<Transport> {};

TEST_P(SimOverTransport, AnswersEveryCommandAndLogsIt) {
  sim::Config config = loopbackConfig();
  config.units = 3;
  Running run(config, GetParam());

  EXPECT_EQ(run.exchange(command(10)), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 3, 0, 0, 0, 0, 0}));

  const Bytes system = run.exchange(command(101, 0));
  ASSERT_EQ(system.size(), 16u + 19u);
  EXPECT_EQ(header(system), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 201, 0, 3, 0, 0, 0, 0, 19}));
  EXPECT_EQ(system[16], 0x84);
  EXPECT_EQ((Bytes{system[32], system[33], system[34]}), (Bytes{0xD1, 0xE0, 0xE0}));

  const Bytes unit = run.exchange(command(101, 2));
  ASSERT_EQ(unit.size(), 16u + 64u);
  EXPECT_EQ(header(unit), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 201, 2, 3, 0, 0, 0, 0, 64}));
  EXPECT_EQ(readU16be(&unit[16 + 8]), 144);

  EXPECT_EQ(header(run.exchange(command(104)))[8], 204);
  EXPECT_TRUE(run.simulator.streaming());
  EXPECT_EQ(header(run.exchange(command(105)))[8], 205);
  EXPECT_FALSE(run.simulator.streaming());
  EXPECT_EQ(header(run.exchange(command(11))),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 21, 0, 3, 0, 0, 0, 0, 0}));

  const std::vector<sim::Received> log = run.simulator.received();
  ASSERT_EQ(log.size(), 6u);
  const uint8_t codes[] = {10, 101, 101, 104, 105, 11};
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].transport, GetParam());
    EXPECT_EQ(log[i].code, codes[i]);
  }
  EXPECT_EQ(log[2].unitAddress, 2);
  EXPECT_EQ(log[2].bytes, command(101, 2));
  EXPECT_TRUE(run.simulator.waitForCommand(101, 2, kLimit));
  EXPECT_FALSE(run.simulator.waitForCommand(101, 3, std::chrono::milliseconds(0)));
}

TEST_P(SimOverTransport, SendSetupRewritesTheBlockThatGetStatusReturns) {
  Running run(loopbackConfig(), GetParam());
  Bytes packet = run.exchange(command(101, 2));
  ASSERT_EQ(packet.size(), 80u);
  // The way a driver answers: the whole reply back, type, address and
  // version rewritten, some bytes of the block changed.
  packet[8] = 102;
  packet[16 + 10] = 3;
  packet[16 + 58] = 0x3F;
  packet[16 + 59] = 0xFF;
  EXPECT_EQ(header(run.exchange(packet)),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 202, 2, 3, 0, 0, 0, 0, 0}));
  const Bytes block(packet.begin() + 16, packet.end());
  EXPECT_EQ(run.simulator.statusBlock(2), block);

  Bytes again = run.exchange(command(101, 2));
  ASSERT_EQ(again.size(), 80u);
  EXPECT_EQ(Bytes(again.begin() + 16, again.end()), block);

  // The system block is rewritten the same way.
  Bytes system = run.exchange(command(101, 0));
  system[8] = 102;
  system[16 + 4] = 0x20;
  EXPECT_EQ(header(run.exchange(system))[11], 0);
  EXPECT_EQ(run.simulator.statusBlock(0)[4], 0x20);
}

TEST_P(SimOverTransport, RefusesSetupsThatDoNotFitTheBus) {
  Running run(loopbackConfig(), GetParam());
  const Bytes before = run.simulator.statusBlock(1);
  Bytes wrongLength = command(102, 1);
  wrongLength[15] = 4;
  wrongLength.insert(wrongLength.end(), {1, 2, 3, 4});
  EXPECT_EQ(header(run.exchange(wrongLength))[11], sim::kErrorBadSetup);
  EXPECT_EQ(run.simulator.statusBlock(1), before);

  EXPECT_EQ(header(run.exchange(command(101, 9))),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 201, 9, 3, sim::kErrorNoSuchUnit, 0, 0, 0, 0}));
  EXPECT_TRUE(run.simulator.statusBlock(9).empty());
}

TEST_P(SimOverTransport, StreamsOneRecordPerSensorWithPredictableWords) {
  sim::Config config = loopbackConfig();
  config.units = 4;
  config.ercAddress = 2;
  Running run(config, GetParam());
  EXPECT_EQ(run.simulator.emitPackets(1), 0) << "no stream before RUN_CONTINUOUS";
  ASSERT_EQ(header(run.exchange(command(104)))[8], 204);

  ASSERT_EQ(run.simulator.emitPackets(3), 3);
  EXPECT_EQ(run.simulator.packetsSent(), 3u);
  const int sensors[] = {1, 3, 4};
  for (uint32_t index = 0; index < 3; ++index) {
    const Bytes packet = run.client->receivePacket();
    ASSERT_EQ(packet.size(), 16u + 3 * 14 + 8);
    EXPECT_EQ(readU32be(&packet[0]), index);
    EXPECT_EQ(packet[8], sim::kDataPacket);
    EXPECT_EQ(readU16be(&packet[14]), 3 * 14 + 8);
    for (int r = 0; r < 3; ++r) {
      const uint8_t* record = &packet[16 + 14 * r];
      EXPECT_EQ(record[0], sensors[r]);
      const auto words = sim::Simulator::unitWords(sensors[r], index);
      for (size_t w = 0; w < 6; ++w) EXPECT_EQ(readI16be(record + 2 + 2 * w), words[w]);
    }
  }
  EXPECT_EQ(header(run.exchange(command(105)))[8], 205);
  EXPECT_EQ(run.simulator.emitPackets(2), 0);
  EXPECT_EQ(run.simulator.nextPacketIndex(), 3u);
}

TEST_P(SimOverTransport, CarriesQueuedWandBytesOneGroupPerPacket) {
  sim::Config config = loopbackConfig();
  config.wanda = true;
  config.wandScript = {{0x40, 0x01, 0x02}};
  Running run(config, GetParam());
  run.simulator.queueWandBytes({0x50, 1, 2, 0x20, 0x41});
  ASSERT_EQ(header(run.exchange(command(104)))[8], 204);
  ASSERT_EQ(run.simulator.emitPackets(1), 1);
  run.simulator.setAuxRecord(false);
  ASSERT_EQ(run.simulator.emitPackets(1), 1);
  run.simulator.setAuxRecord(true);
  ASSERT_EQ(run.simulator.emitPackets(2), 2);

  // One sensor: the aux record starts at 30.
  const Bytes first = run.client->receivePacket();
  EXPECT_EQ(Bytes(first.begin() + 30, first.end()), (Bytes{0, 2, 0x40, 0x01, 0x02, 0, 0, 3}));
  const Bytes bare = run.client->receivePacket();
  EXPECT_EQ(bare.size(), 30u);
  EXPECT_EQ(readU16be(&bare[14]), 14);
  // The group that found no aux record goes into the next one.
  const Bytes second = run.client->receivePacket();
  EXPECT_EQ(readU16be(&second[14]), 14 + 10);
  EXPECT_EQ(Bytes(second.begin() + 30, second.end()),
            (Bytes{0, 3, 0x50, 1, 2, 0x20, 0x41, 0, 0, 5}));
  const Bytes empty = run.client->receivePacket();
  EXPECT_EQ(Bytes(empty.begin() + 30, empty.end()), (Bytes{0, 2, 0, 0, 0, 0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Both, SimOverTransport,
                         ::testing::Values(Transport::kTcp, Transport::kUdp),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           return info.param == Transport::kTcp ? "Tcp" : "Udp";
                         });

TEST(Simulator, WandBytesStayOutWithTheWandaOffAndLoopWhenAsked) {
  sim::Config config = loopbackConfig();
  config.wandScript = {{0x40, 0, 0}};
  Running off(config, Transport::kUdp);
  ASSERT_EQ(header(off.exchange(command(104)))[8], 204);
  ASSERT_EQ(off.simulator.emitPackets(1), 1);
  const Bytes packet = off.client->receivePacket();
  EXPECT_EQ(Bytes(packet.begin() + 30, packet.end()), (Bytes{0, 2, 0, 0, 0, 0, 0, 0}));

  config.wanda = true;
  config.loopWandScript = true;
  config.wandScript = {{0x41}, {0x42}};
  Running looping(config, Transport::kUdp);
  ASSERT_EQ(header(looping.exchange(command(104)))[8], 204);
  ASSERT_EQ(looping.simulator.emitPackets(3), 3);
  for (uint8_t expected : {0x41, 0x42, 0x41}) {
    const Bytes p = looping.client->receivePacket();
    ASSERT_EQ(p.size(), 38u);
    EXPECT_EQ(p[32], expected);
    EXPECT_EQ(p[37], 1);
  }
}

TEST(Simulator, StreamsOnItsOwnAtTheConfiguredRate) {
  sim::Config config = loopbackConfig();
  config.rate = 500;
  Running run(config, Transport::kTcp);
  ASSERT_EQ(header(run.exchange(command(104)))[8], 204);
  for (uint32_t index = 0; index < 5; ++index) {
    const Bytes packet = run.client->receivePacket();
    ASSERT_EQ(packet.size(), 38u);
    EXPECT_EQ(readU32be(&packet[0]), index);
  }
  ASSERT_TRUE(run.client->send(command(105)));
  // Packets already on their way may come first; the reply ends them.
  Bytes packet;
  do {
    packet = run.client->receivePacket();
  } while (!packet.empty() && packet[8] == sim::kDataPacket);
  ASSERT_FALSE(packet.empty());
  EXPECT_EQ(packet[8], 205);
  EXPECT_FALSE(run.simulator.streaming());
}

TEST(Simulator, FramesTcpCommandsWhateverTheSegments) {
  Running run(loopbackConfig(), Transport::kTcp);
  const Bytes wake = command(10);
  ASSERT_TRUE(run.client->send(Bytes(wake.begin(), wake.begin() + 5)));
  ASSERT_TRUE(run.client->send(Bytes(wake.begin() + 5, wake.end())));
  EXPECT_EQ(header(run.client->receivePacket())[8], 20);

  // A setup and a command in one segment come apart at the announced count.
  Bytes status = run.exchange(command(101, 1));
  status[8] = 102;
  Bytes both = status;
  both.insert(both.end(), wake.begin(), wake.end());
  ASSERT_TRUE(run.client->send(both));
  EXPECT_EQ(header(run.client->receivePacket())[8], 202);
  EXPECT_EQ(header(run.client->receivePacket())[8], 20);
  ASSERT_EQ(run.simulator.received().size(), 4u);
  EXPECT_EQ(run.simulator.received()[2].bytes, status);
}

TEST(Simulator, TakesTheNextTcpConnectionAfterThePeerLeaves) {
  Running run(loopbackConfig(), Transport::kTcp);
  ASSERT_EQ(header(run.exchange(command(104)))[8], 204);
  run.client.reset();
  Client second(Transport::kTcp, run.simulator.tcpPort());
  ASSERT_TRUE(second.send(command(10)));
  EXPECT_EQ(header(second.receivePacket())[8], 20);
  EXPECT_FALSE(run.simulator.streaming()) << "the stream ends with its connection";
}

TEST(Simulator, SeveralRunAtOnceOnOnePortOfDistinctAddresses) {
  if (!loopback_probe::udpAddressesStayApart()) {
    GTEST_SKIP() << "this system widens a UDP bind to 127.x.y.z to every address (Wine does this)";
  }
  sim::Config first = loopbackConfig();
  first.address = "127.0.0.2";
  sim::Simulator a(first);
  std::string error;
  ASSERT_TRUE(a.start(&error)) << error;
  sim::Config second = first;
  second.address = "127.0.0.3";
  second.tcpPort = a.tcpPort();
  second.udpPort = a.udpPort();
  sim::Simulator b(second);
  ASSERT_TRUE(b.start(&error)) << error;
  EXPECT_EQ(b.tcpPort(), a.tcpPort());

  Client toB(Transport::kUdp, b.udpPort(), "127.0.0.3");
  ASSERT_TRUE(toB.send(command(10)));
  EXPECT_EQ(header(toB.receivePacket())[8], 20);
  EXPECT_EQ(a.received().size(), 0u);
  EXPECT_EQ(b.received().size(), 1u);

  // The same address and port a second time is refused with the reason.
  sim::Config clash = first;
  clash.tcpPort = a.tcpPort();
  clash.enableUdp = false;
  sim::Simulator c(clash);
  EXPECT_FALSE(c.start(&error));
  EXPECT_NE(error.find("cannot bind TCP 127.0.0.2:" + std::to_string(a.tcpPort())),
            std::string::npos)
      << error;
}

TEST(Simulator, RefusesConfigurationsItCannotPlay) {
  auto refuse = [](sim::Config config) {
    sim::Simulator simulator(std::move(config));
    std::string error;
    EXPECT_FALSE(simulator.start(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(simulator.tcpPort(), 0);
  };
  sim::Config config = loopbackConfig();
  config.units = 0;
  refuse(config);
  config = loopbackConfig();
  config.ercAddress = 3;
  refuse(config);
  config = loopbackConfig();
  config.measurementRate = "86.1";
  refuse(config);
  config = loopbackConfig();
  config.enableTcp = config.enableUdp = false;
  refuse(config);
  config = loopbackConfig();
  config.address = "not an address";
  refuse(config);
}

TEST(Simulator, SecondStartIsRefusedAndTheFirstKeepsServing) {
  Running run(loopbackConfig(), Transport::kUdp);
  std::string error;
  EXPECT_FALSE(run.simulator.start(&error));
  EXPECT_EQ(error, "the simulator is already running");
  EXPECT_NE(run.simulator.udpPort(), 0);
  EXPECT_EQ(header(run.exchange(command(10)))[8], 20);
}

TEST(Simulator, LogsEventsAndPacketsWhenVerbose) {
  sim::Config config = loopbackConfig();
  auto lines = std::make_shared<std::vector<std::string>>();
  auto guard = std::make_shared<std::mutex>();
  config.log = [lines, guard](const std::string& line) {
    std::lock_guard<std::mutex> lock(*guard);
    lines->push_back(line);
  };
  config.verbose = true;
  config.enableTcp = false;
  Running run(config, Transport::kUdp);
  ASSERT_EQ(header(run.exchange(command(10)))[8], 20);
  const uint16_t port = run.simulator.udpPort();
  run.simulator.stop();
  std::lock_guard<std::mutex> lock(*guard);
  ASSERT_EQ(lines->size(), 2u);
  EXPECT_EQ((*lines)[0], "listening on UDP 127.0.0.1:" + std::to_string(port));
  EXPECT_EQ((*lines)[1],
            "received UDP WAKE_UP (16 bytes): 00 00 00 00 00 00 00 00 0a 00 03 00 00 00 00 00");
}

}  // namespace
