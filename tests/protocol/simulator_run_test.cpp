// The whole command sequence and the data stream against the simulator,
// which builds its packets with its own code.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "protocol/data_reader.h"
#include "protocol/data_record.h"
#include "protocol/exchange.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/setup.h"
#include "sim/simulator.h"
#include "support/capture.h"
#include "support/plain_log.h"

namespace {

using Lines = std::vector<std::string>;

class AgainstSimulator : public ::testing::TestWithParam<sim::Transport> {
 protected:
  AgainstSimulator() : simulator(makeConfig()) {
    proto::setWaitsForTesting({3, 0}, {3, 0}, {3, 0});
  }
  ~AgainstSimulator() override { proto::restoreWaits(); }

  // Two sensors at FBB addresses 2 and 3 behind the ERC at 1; unit 3 reports scaling 288.
  static sim::Config makeConfig() {
    sim::Config config;
    config.tcpPort = 0;
    config.udpPort = 0;
    config.units = 3;
    config.ercAddress = 1;
    config.wanda = true;
    sim::UnitSetup wide;
    wide.scaling = 288;
    config.unitSetups = {sim::UnitSetup{}, sim::UnitSetup{}, wide};
    return config;
  }

  bool connect() {
    std::string error;
    if (!simulator.start(&error)) {
      ADD_FAILURE() << error;
      return false;
    }
    if (GetParam() == sim::Transport::kTcp) {
      return socket.openSocket(CSocketH::kTcp) &&
             socket.setDestHost("127.0.0.1", simulator.tcpPort()) && socket.connectDest();
    }
    return socket.openSocket(CSocketH::kUdp) && socket.bindLocal(0) &&
           socket.setDestHost("127.0.0.1", simulator.udpPort());
  }

  sim::Simulator simulator;
  CLogH log = plainLog("DEV");
  CSocketH socket{&log};
};

TEST_P(AgainstSimulator, ConfigureStreamAndStop) {
  ASSERT_TRUE(connect());
  CoutCapture out;
  ASSERT_TRUE(proto::wakeUp(socket, log));
  ASSERT_TRUE(proto::sendSystemSetup(socket, log, {1, "086100"}));
  std::vector<uint8_t> system = simulator.statusBlock(0);
  ASSERT_GE(system.size(), 11u);
  EXPECT_EQ(system[4], 0x10);
  EXPECT_EQ(std::string(system.begin() + 5, system.begin() + 11), "086100");

  const uint16_t alphaMin[7] = {700, 700, 700, 700, 700, 700, 700};
  proto::UnitSettings settings{proto::ReportRate::kEveryOther,
                               proto::Hemisphere::kPlusZ,
                               alphaMin,
                               true,
                               nullptr,
                               false,
                               nullptr,
                               false,
                               true};
  float scales[3] = {12.0f, 12.0f, 12.0f};
  for (uint8_t unit = 2; unit <= 3; ++unit) {
    ASSERT_TRUE(proto::sendUnitSetup(socket, log, unit, settings, &scales[unit - 1]));
  }
  EXPECT_EQ(scales[1], 12.0f);
  EXPECT_EQ(scales[2], 24.0f);
  std::vector<uint8_t> unit = simulator.statusBlock(2);
  ASSERT_GE(unit.size(), 64u);
  EXPECT_EQ(unit[7], 2);
  EXPECT_EQ(unit[10], 3);
  EXPECT_EQ((std::vector<uint8_t>(unit.begin() + 16, unit.begin() + 20)),
            (std::vector<uint8_t>{0x02, 0xBC, 0x02, 0xBC}));
  EXPECT_EQ((std::vector<uint8_t>(unit.begin() + 30, unit.begin() + 32)),
            (std::vector<uint8_t>{0x10, 0x00}));  // the simulator's own alpha-max table
  EXPECT_EQ((std::vector<uint8_t>(unit.begin() + 58, unit.begin() + 64)),
            (std::vector<uint8_t>{0x3F, 0xFF, 0x00, 0x00, 0xC0, 0x00}));
  ASSERT_TRUE(proto::printUnitSetup(socket, log, 3));
  Lines lines = out.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "DEV: INFO: CMotionStar: (dev:3) ReportRate: 0.5");
  EXPECT_EQ(lines[1], "DEV: INFO: CMotionStar: (dev:3) Scaling: 288");

  ASSERT_TRUE(proto::runContinuous(socket, log));
  std::vector<uint8_t> wand = sim::Simulator::wandPacket(1, 2, false, true, -1);
  simulator.queueWandBytes(wand);
  uint64_t firstIndex = simulator.nextPacketIndex();
  ASSERT_EQ(simulator.emitPackets(3), 3);
  DataPacketReader reader;
  const int32_t requested = static_cast<int32_t>(proto::dataRequestBytes(2));
  for (uint64_t i = 0; i < 3; ++i) {
    uint8_t packet[64] = {};
    ASSERT_EQ(reader.read(socket, packet, requested), requested);
    for (int record = 0; record < 2; ++record) {
      const uint8_t* bytes = packet + 16 + 14 * record;
      int address = 2 + record;
      EXPECT_EQ(unitAddress(bytes), address);
      std::array<int16_t, 6> words = sim::Simulator::unitWords(address, firstIndex + i);
      TraPose pose = decodeUnitRecord(bytes, scales[address - 1], true);
      EXPECT_NEAR(pose.x, words[0] / 32767.0 * scales[address - 1], 1e-4);
      EXPECT_NEAR(pose.azimuth, -words[3] / 32767.0 * 180.0, 1e-3);
      EXPECT_NEAR(pose.elevation, words[4] / 32767.0 * 180.0, 1e-3);
    }
    WandBytes aux = auxWandBytes(packet + 44, 8);
    if (i == 0) {
      EXPECT_EQ(std::vector<uint8_t>(aux.bytes, aux.bytes + aux.count), wand);
    } else {
      EXPECT_EQ(aux.count, 0u);
    }
  }

  ASSERT_TRUE(proto::stopData(socket, log));
  ASSERT_TRUE(proto::shutDown(socket, log));
  std::vector<uint8_t> codes;
  for (const sim::Received& command : simulator.received()) codes.push_back(command.code);
  EXPECT_EQ(codes, (std::vector<uint8_t>{10, 101, 102, 101, 102, 101, 102, 101, 104, 105, 11}));
}

TEST_P(AgainstSimulator, RecoversFromAWakeUpErrorAndKeepsPacketsAligned) {
  ASSERT_TRUE(connect());
  CoutCapture out;
  sim::CommandFault busy{sim::CommandFault::Kind::kWakeUpError};
  busy.errorCode = 6;
  simulator.injectCommandFault(sim::kWakeUp, busy);
  ASSERT_TRUE(proto::wakeUp(socket, log));
  ASSERT_TRUE(proto::runContinuous(socket, log));

  const bool udp = GetParam() == sim::Transport::kUdp;
  sim::DataFault oversized{sim::DataFault::Kind::kOversized};
  oversized.length = 30;
  simulator.injectDataFault(oversized);
  // A stream packet cut short leaves its header's count unmet, so only a
  // datagram can be short on its own.
  if (udp) simulator.injectDataFault(sim::DataFault{sim::DataFault::Kind::kShort, 20});
  uint64_t firstIndex = simulator.nextPacketIndex();
  ASSERT_EQ(simulator.emitPackets(3), 3);
  DataPacketReader reader;
  const int32_t requested = static_cast<int32_t>(proto::dataRequestBytes(2));
  uint8_t packet[64] = {};
  ASSERT_EQ(reader.read(socket, packet, requested), requested);  // oversized: cut
  EXPECT_EQ(reader.read(socket, packet, requested), udp ? 20 : requested);
  ASSERT_EQ(reader.read(socket, packet, requested), requested);
  // The third packet is read at its place in the stream.
  std::array<int16_t, 6> words = sim::Simulator::unitWords(3, firstIndex + 2);
  EXPECT_EQ(packet[16 + 14], 3);
  EXPECT_EQ(readI16be(packet + 16 + 14 + 2), words[0]);
  std::vector<uint8_t> codes;
  for (const sim::Received& command : simulator.received()) codes.push_back(command.code);
  EXPECT_EQ(codes, (std::vector<uint8_t>{10, 105, 11, 104}));
}

TEST_P(AgainstSimulator, StopsAStreamWithPacketsStillInFlight) {
  ASSERT_TRUE(connect());
  CLogH deviceLog = plainLog("DEV", 1);
  deviceLog.ownerLevel = 1;
  CoutCapture out;
  ASSERT_TRUE(proto::runContinuous(socket, deviceLog));
  ASSERT_EQ(simulator.emitPackets(5), 5);  // not read: they precede the STOP_DATA reply
  out.clear();
  EXPECT_TRUE(proto::stopData(socket, deviceLog));
  EXPECT_TRUE(proto::shutDown(socket, deviceLog));
  Lines expected{"DEV: DEBUG: CMotionStar: Sending STOP_DATA command."};
  expected.insert(expected.end(), 5, "DEV: DEBUG: WARNING: CMotionStar: Got wrong packet.");
  expected.insert(expected.end(), {"DEV: DEBUG: CMotionStar: size:16, type:205, error code:0",
                                   "DEV: DEBUG: CMotionStar: Sending STOP_DATA command done.",
                                   "DEV: DEBUG: CMotionStar: Sending SHUT_DOWN command.",
                                   "DEV: DEBUG: CMotionStar: size:16, type:21, error code:0",
                                   "DEV: DEBUG: CMotionStar: Sending SHUT_DOWN command done."});
  EXPECT_EQ(out.lines(), expected);
}

INSTANTIATE_TEST_SUITE_P(Transports, AgainstSimulator,
                         ::testing::Values(sim::Transport::kTcp, sim::Transport::kUdp),
                         [](const auto& info) {
                           return info.param == sim::Transport::kTcp ? "Tcp" : "Udp";
                         });

}  // namespace
