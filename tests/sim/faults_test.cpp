// Fault injection: each kind, seen from a bare client.
#include <gtest/gtest.h>

#include <memory>

#include "client.h"
#include "common/byte_order.h"
#include "sim/simulator.h"
#include "support/loopback_probe.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::CommandFault;
using sim::DataFault;
using sim::Transport;
using simtest::Client;
using simtest::command;

struct Running {
  explicit Running(Transport transport, int units = 2) : simulator(config(units)) {
    std::string error;
    EXPECT_TRUE(simulator.start(&error)) << error;
    connect(transport);
  }
  static sim::Config config(int units) {
    sim::Config c;
    c.tcpPort = 0;
    c.udpPort = 0;
    c.units = units;
    return c;
  }
  void connect(Transport transport) {
    client = std::make_unique<Client>(
        transport, transport == Transport::kTcp ? simulator.tcpPort() : simulator.udpPort());
    EXPECT_TRUE(client->ok());
  }
  Bytes exchange(const Bytes& bytes) {
    EXPECT_TRUE(client->send(bytes));
    return client->receivePacket();
  }
  void startStream() { ASSERT_EQ(exchange(command(104)).at(8), 204); }
  sim::Simulator simulator;
  std::unique_ptr<Client> client;
};

CommandFault commandFault(CommandFault::Kind kind) {
  return CommandFault{kind};
}
DataFault dataFault(DataFault::Kind kind) {
  return DataFault{kind};
}

class CommandFaults : public ::testing::TestWithParam<Transport> {};

TEST_P(CommandFaults, WrongTypesComeBeforeTheRightReply) {
  Running run(GetParam());
  CommandFault fault = commandFault(CommandFault::Kind::kWrongTypes);
  fault.count = 3;
  fault.wrongType = 99;
  run.simulator.injectCommandFault(101, fault);
  ASSERT_TRUE(run.client->send(command(101, 1)));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(run.client->receivePacket(),
              (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 99, 1, 3, 0, 0, 0, 0, 0}));
  }
  const Bytes reply = run.client->receivePacket();
  ASSERT_EQ(reply.size(), 80u);
  EXPECT_EQ(reply[8], 201);
  // Consumed: the next GET_STATUS is answered at once.
  EXPECT_EQ(run.exchange(command(101, 1)).at(8), 201);
}

TEST_P(CommandFaults, ErrorCodeFailsTheCommandWithoutEffect) {
  Running run(GetParam());
  CommandFault fault = commandFault(CommandFault::Kind::kErrorCode);
  fault.errorCode = 1;
  run.simulator.injectCommandFault(104, fault);
  EXPECT_EQ(run.exchange(command(104)), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 204, 0, 3, 1, 0, 0, 0, 0}));
  EXPECT_FALSE(run.simulator.streaming());
  EXPECT_EQ(run.exchange(command(104)).at(11), 0);
  EXPECT_TRUE(run.simulator.streaming());

  // A refused setup leaves the block as it was; the next one stores it.
  run.simulator.injectCommandFault(102, fault);
  Bytes setup = run.exchange(command(101, 1));
  ASSERT_EQ(setup.size(), 80u);
  setup[8] = 102;
  setup[16 + 10] = 4;
  EXPECT_EQ(run.exchange(setup).at(11), 1);
  EXPECT_EQ(run.simulator.statusBlock(1)[10], 0);
  EXPECT_EQ(run.exchange(setup).at(11), 0);
  EXPECT_EQ(run.simulator.statusBlock(1)[10], 4);
}

TEST_P(CommandFaults, WakeUpErrorIsFinishedAfterStopDataAndShutDown) {
  Running run(GetParam());
  CommandFault fault = commandFault(CommandFault::Kind::kWakeUpError);
  fault.errorCode = 5;
  run.simulator.injectCommandFault(10, fault);
  EXPECT_EQ(run.exchange(command(10)), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 3, 5, 0, 0, 0, 0}));
  EXPECT_EQ(run.exchange(command(105)).at(8), 205);
  // A SHUT_DOWN that fails does not finish the WAKE_UP; the next one does.
  run.simulator.injectCommandFault(11, commandFault(CommandFault::Kind::kErrorCode));
  EXPECT_EQ(run.exchange(command(11)).at(11), 1);
  EXPECT_EQ(run.exchange(command(11)).at(8), 21);
  // The good WAKE_UP reply follows without a new WAKE_UP.
  EXPECT_EQ(run.client->receivePacket(), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 3, 0, 0, 0, 0, 0}));
  const std::vector<sim::Received> log = run.simulator.received();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[3].code, 11);
}

TEST_P(CommandFaults, SilenceLeavesTheCommandUnansweredAndUndone) {
  Running run(GetParam());
  run.simulator.injectCommandFault(10, commandFault(CommandFault::Kind::kSilence));
  run.simulator.injectCommandFault(102, commandFault(CommandFault::Kind::kSilence));
  ASSERT_TRUE(run.client->send(command(10)));
  Bytes setup = run.simulator.statusBlock(1);
  setup[10] = 4;
  Bytes packet = command(102, 1);
  packet[15] = static_cast<uint8_t>(setup.size());
  packet.insert(packet.end(), setup.begin(), setup.end());
  ASSERT_TRUE(run.client->send(packet));
  // The first answer to come is the STOP_DATA reply: nothing for the two before.
  EXPECT_EQ(run.exchange(command(105)).at(8), 205);
  EXPECT_EQ(run.simulator.statusBlock(1)[10], 0);
  EXPECT_EQ(run.simulator.received().size(), 3u);
}

TEST_P(CommandFaults, ShortReplyStopsAtItsLength) {
  Running run(GetParam());
  CommandFault fault = commandFault(CommandFault::Kind::kShort);
  fault.length = 15;
  run.simulator.injectCommandFault(101, fault);
  ASSERT_TRUE(run.client->send(command(101, 1)));
  ASSERT_TRUE(run.client->send(command(10)));
  const Bytes expected{0, 0, 0, 0, 0, 0, 0, 0, 201, 1, 3, 0, 0, 0, 0};
  if (GetParam() == Transport::kUdp) {
    EXPECT_EQ(run.client->receiveOnce(), expected);
    EXPECT_EQ(run.client->receiveOnce().at(8), 20);
  } else {
    const Bytes stream = run.client->receiveExactly(15 + 16);
    ASSERT_EQ(stream.size(), 31u);
    EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 15), expected);
    EXPECT_EQ(stream[15 + 8], 20);
  }
}

TEST_P(CommandFaults, SplitReplyArrivesInTwoPieces) {
  Running run(GetParam());
  CommandFault fault = commandFault(CommandFault::Kind::kSplit);
  fault.splitAt = 8;
  run.simulator.injectCommandFault(11, fault);
  ASSERT_TRUE(run.client->send(command(11)));
  const Bytes first = run.client->receiveOnce();
  const Bytes second = run.client->receiveOnce();
  EXPECT_EQ(first, (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(second, (Bytes{21, 0, 3, 0, 0, 0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Both, CommandFaults, ::testing::Values(Transport::kTcp, Transport::kUdp),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           return info.param == Transport::kTcp ? "Tcp" : "Udp";
                         });

TEST(DataFaults, ShortAndOversizedPacketsOverTcpKeepTheirNeighboursWhole) {
  Running run(Transport::kTcp);
  run.startStream();
  DataFault shortPacket = dataFault(DataFault::Kind::kShort);
  shortPacket.length = 20;
  DataFault oversized = dataFault(DataFault::Kind::kOversized);
  oversized.length = 10;
  run.simulator.injectDataFault(shortPacket);
  run.simulator.injectDataFault(oversized);
  ASSERT_EQ(run.simulator.emitPackets(3), 3);
  // 20 bytes of packet 0 (its header still says 22), then 38 + 10, then 38.
  const Bytes stream = run.client->receiveExactly(20 + 48 + 38);
  ASSERT_EQ(stream.size(), 106u);
  EXPECT_EQ(readU16be(&stream[14]), 22);
  EXPECT_EQ(readU32be(&stream[20]), 1u);
  EXPECT_EQ(readU16be(&stream[20 + 14]), 32);
  EXPECT_EQ(Bytes(stream.begin() + 58, stream.begin() + 68), Bytes(10, 0xA5));
  EXPECT_EQ(readU32be(&stream[68]), 2u);
  EXPECT_EQ(readU16be(&stream[68 + 14]), 22);
}

TEST(DataFaults, BadAddressesGarbageAuxAndMissingAuxOverUdp) {
  Running run(Transport::kUdp, 3);
  run.startStream();
  DataFault zero = dataFault(DataFault::Kind::kBadUnitAddress);
  zero.record = 1;
  zero.unitAddress = 0;
  DataFault above = dataFault(DataFault::Kind::kBadUnitAddress);
  above.unitAddress = 4;
  run.simulator.injectDataFault(zero);
  run.simulator.injectDataFault(above);
  run.simulator.injectDataFault(dataFault(DataFault::Kind::kGarbageAux));
  run.simulator.injectDataFault(dataFault(DataFault::Kind::kNoAux));
  ASSERT_EQ(run.simulator.emitPackets(4), 4);

  const Bytes first = run.client->receivePacket();
  ASSERT_EQ(first.size(), 16u + 28 + 8);
  EXPECT_EQ(first[16], 2);
  EXPECT_EQ(first[30], 0);
  const Bytes second = run.client->receivePacket();
  ASSERT_EQ(second.size(), 52u);
  EXPECT_EQ(second[16], 4);
  EXPECT_EQ(second[30], 3);
  const Bytes garbage = run.client->receivePacket();
  ASSERT_EQ(garbage.size(), 52u);
  EXPECT_EQ(garbage[44 + 1], 0x0F);
  EXPECT_EQ(garbage[44 + 7], 0xFF);
  const Bytes bare = run.client->receivePacket();
  EXPECT_EQ(bare.size(), 44u);
  EXPECT_EQ(readU16be(&bare[14]), 28);
}

TEST(DataFaults, DroppedPacketsUseUpTheirIndex) {
  Running run(Transport::kUdp);
  run.startStream();
  run.simulator.injectDataFault(dataFault(DataFault::Kind::kDrop));
  EXPECT_EQ(run.simulator.emitPackets(3), 2);
  EXPECT_EQ(readU32be(run.client->receivePacket().data()), 1u);
  EXPECT_EQ(readU32be(run.client->receivePacket().data()), 2u);
  EXPECT_EQ(run.simulator.packetsSent(), 2u);
  EXPECT_EQ(run.simulator.nextPacketIndex(), 3u);
}

TEST(DataFaults, ResetEndsTheTcpStreamAndTheNextConnectionIsServed) {
  if (!loopback_probe::tcpAbortResetsThePeer()) {
    GTEST_SKIP() << "this system ends an aborted TCP connection in order instead of resetting it "
                    "(Wine does this)";
  }
  Running run(Transport::kTcp);
  run.startStream();
  ASSERT_EQ(run.simulator.emitPackets(1), 1);
  run.simulator.injectDataFault(dataFault(DataFault::Kind::kResetConnection));
  EXPECT_EQ(run.simulator.emitPackets(2), 0);
  EXPECT_EQ(run.client->receivePacket().size(), 38u);
  EXPECT_LT(run.client->receiveStatus(), 0) << "a reset, not an orderly close";
  EXPECT_FALSE(run.simulator.streaming());

  run.connect(Transport::kTcp);
  run.startStream();
  ASSERT_EQ(run.simulator.emitPackets(1), 1);
  EXPECT_EQ(readU32be(run.client->receivePacket().data()), 2u);

  run.simulator.resetTcpConnection();
  EXPECT_LT(run.client->receiveStatus(), 0);
  run.connect(Transport::kTcp);
  EXPECT_EQ(run.exchange(command(10)).at(8), 20);
}

TEST(DataFaults, SilentUdpHearsButAnswersNothingUntilItComesBack) {
  Running run(Transport::kUdp);
  run.startStream();
  run.simulator.setUdpSilent(true);
  ASSERT_TRUE(run.client->send(command(10)));
  ASSERT_TRUE(run.simulator.waitForCommand(10, 1, std::chrono::milliseconds(3000)));
  EXPECT_EQ(run.simulator.emitPackets(2), 0);
  run.simulator.setUdpSilent(false);
  ASSERT_EQ(run.simulator.emitPackets(1), 1);
  // The first thing to arrive is the packet sent after the silence.
  EXPECT_EQ(readU32be(run.client->receivePacket().data()), 2u);
  EXPECT_EQ(run.exchange(command(105)).at(8), 205);
}

}  // namespace
