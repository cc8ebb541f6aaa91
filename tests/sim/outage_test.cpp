// Power cycles and network outages seen from a bare client: what falls
// silent, what the system keeps and what it forgets.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

#include "client.h"
#include "common/byte_order.h"
#include "sim/faults.h"
#include "sim/simulator.h"

namespace {

using Bytes = std::vector<uint8_t>;
using sim::Transport;
using simtest::Client;
using simtest::command;
using std::chrono::milliseconds;

// Longer than any test: the tests end these spells themselves.
constexpr milliseconds kUntilEnded(60000);
constexpr milliseconds kLimit(5000);
// How long a client listens to see that nothing comes.
constexpr int kQuietMs = 300;

struct Running {
  explicit Running(Transport transport, sim::Config config = sim::Config())
      : transport(transport), simulator(onPortZero(std::move(config))) {
    std::string error;
    EXPECT_TRUE(simulator.start(&error)) << error;
    connect();
  }
  static sim::Config onPortZero(sim::Config c) {
    c.tcpPort = 0;
    c.udpPort = 0;
    c.units = 3;
    return c;
  }
  void connect() {
    client = std::make_unique<Client>(
        transport, transport == Transport::kTcp ? simulator.tcpPort() : simulator.udpPort());
    EXPECT_TRUE(client->ok());
  }
  Bytes exchange(const Bytes& bytes) {
    EXPECT_TRUE(client->send(bytes));
    return client->receivePacket();
  }
  // Rewrites unit 2's hemisphere as a driver's setup does.
  void setHemisphere(uint8_t code) {
    Bytes status = exchange(command(sim::kGetStatus, 2));
    ASSERT_EQ(status.size(), 80u);
    status[8] = sim::kSendSetup;
    status[16 + 10] = code;
    ASSERT_EQ(exchange(status).at(11), 0);
  }
  uint32_t nextDataIndex() {
    const Bytes packet = client->receivePacket();
    EXPECT_EQ(packet.size(), 16u + 2 * 14 + 8);
    return packet.size() >= 4 ? readU32be(&packet[0]) : 0xFFFFFFFF;
  }
  Transport transport;
  sim::Simulator simulator;
  std::unique_ptr<Client> client;
};

class Outage : public ::testing::TestWithParam<Transport> {
 protected:
  bool tcp() const { return GetParam() == Transport::kTcp; }
};

TEST_P(Outage, PowerCycleSilencesTheSystemAndLeavesItAsleepInItsPowerOnState) {
  Running run(GetParam());
  const Bytes configured = run.simulator.statusBlock(2);
  run.setHemisphere(3);
  ASSERT_EQ(run.exchange(command(sim::kRunContinuous)).at(8), 204);
  ASSERT_EQ(run.simulator.emitPackets(1), 1);
  EXPECT_EQ(run.nextDataIndex(), 0u);

  run.simulator.powerCycle(kUntilEnded);
  EXPECT_FALSE(run.simulator.waitUntilReachable(milliseconds(0)));
  EXPECT_FALSE(run.simulator.streaming());
  EXPECT_EQ(run.simulator.emitPackets(1), 0);
  const size_t heard = run.simulator.received().size();
  ASSERT_TRUE(run.client->send(command(sim::kGetStatus, 0)));
  EXPECT_TRUE(run.client->receiveOnce(kQuietMs).empty()) << "no reply while off";
  if (tcp()) {
    Client refused(Transport::kTcp, run.simulator.tcpPort());
    EXPECT_FALSE(refused.ok()) << "a system without power takes no connection";
  }

  run.simulator.powerCycle(milliseconds(0));
  ASSERT_TRUE(run.simulator.waitUntilReachable(kLimit));
  EXPECT_EQ(run.simulator.received().size(), heard) << "what came while off was never heard";
  if (tcp()) {
    // The connection of before is gone: reset (or, where an abort closes
    // in order, ended), and its unheard command with it.
    const long status = run.client->receiveStatus(static_cast<int>(kLimit.count()));
    EXPECT_TRUE(status == -1 || status == 0) << status;
    run.connect();
  }
  // Asleep: the GET_STATUS goes unanswered, so the first reply is WAKE_UP's.
  ASSERT_TRUE(run.client->send(command(sim::kGetStatus, 2)));
  EXPECT_EQ(run.exchange(command(sim::kWakeUp)).at(8), 20);
  EXPECT_TRUE(run.client->receiveOnce(kQuietMs).empty());

  // Awake, with the blocks as configured and no stream.
  const Bytes status = run.exchange(command(sim::kGetStatus, 2));
  ASSERT_EQ(status.size(), 80u);
  EXPECT_EQ(Bytes(status.begin() + 16, status.end()), configured);
  EXPECT_FALSE(run.simulator.streaming());
  EXPECT_EQ(run.simulator.emitPackets(1), 0);
  ASSERT_EQ(run.exchange(command(sim::kRunContinuous)).at(8), 204);
  ASSERT_EQ(run.simulator.emitPackets(1), 1);
  EXPECT_EQ(run.nextDataIndex(), 1u) << "the packet index goes on";
}

TEST_P(Outage, NetworkDownLosesEveryPacketThenTheStreamGoesOnWithItsSetup) {
  Running run(GetParam());
  run.setHemisphere(3);
  ASSERT_EQ(run.exchange(command(sim::kRunContinuous)).at(8), 204);
  ASSERT_EQ(run.simulator.emitPackets(1), 1);
  EXPECT_EQ(run.nextDataIndex(), 0u);

  run.simulator.networkDown(kUntilEnded);
  EXPECT_FALSE(run.simulator.waitUntilReachable(milliseconds(0)));
  EXPECT_TRUE(run.simulator.streaming());
  EXPECT_EQ(run.simulator.emitPackets(3), 0) << "made, and lost";
  ASSERT_TRUE(run.client->send(command(sim::kGetStatus, 2)));
  EXPECT_TRUE(run.client->receiveOnce(kQuietMs).empty());

  run.simulator.networkDown(milliseconds(0));
  ASSERT_TRUE(run.simulator.waitUntilReachable(kLimit));
  ASSERT_EQ(run.simulator.emitPackets(2), 2);
  std::vector<uint32_t> indices;
  bool answered = false;
  for (Bytes packet; !(packet = run.client->receivePacket(kQuietMs)).empty();) {
    if (packet[8] == sim::kDataPacket) indices.push_back(readU32be(&packet[0]));
    if (packet[8] == sim::kStatusReply) {
      answered = true;
      EXPECT_EQ(packet.at(16 + 10), 3) << "the setup is kept";
    }
  }
  EXPECT_EQ(indices, (std::vector<uint32_t>{4, 5}));
  // Over TCP the command waited in the connection; a datagram was lost.
  EXPECT_EQ(answered, tcp());
  EXPECT_EQ(run.simulator.statusBlock(2).at(10), 3);
}

TEST_P(Outage, PowerComesBackOnItsOwnAfterTheSilence) {
  auto lines = std::make_shared<std::vector<std::string>>();
  auto guard = std::make_shared<std::mutex>();
  sim::Config config;
  config.log = [lines, guard](const std::string& line) {
    std::lock_guard<std::mutex> lock(*guard);
    lines->push_back(line);
  };
  Running run(GetParam(), config);
  run.simulator.powerCycle(milliseconds(200));
  ASSERT_TRUE(run.simulator.waitUntilReachable(kLimit));
  if (tcp()) run.connect();
  EXPECT_EQ(run.exchange(command(sim::kWakeUp)).at(8), 20);
  run.simulator.networkDown(milliseconds(100));
  ASSERT_TRUE(run.simulator.waitUntilReachable(kLimit));
  EXPECT_EQ(run.exchange(command(sim::kGetStatus, 0)).at(8), 201);
  run.simulator.stop();

  std::lock_guard<std::mutex> lock(*guard);
  std::vector<std::string> events;
  for (const std::string& line : *lines) {
    if (line.rfind("power", 0) == 0 || line.rfind("network", 0) == 0) {
      events.push_back(line.substr(0, line.find(" after")));
    }
  }
  EXPECT_EQ(events, (std::vector<std::string>{"power off", "power on",
                                              "network down: every "
                                              "packet is lost",
                                              "network up"}));
}

TEST(Outages, RepeatingSpellsFollowTheClockAndCallsMoveTheirEnd) {
  using Clock = sim::Outages::Clock;
  const Clock::time_point t0{};
  sim::Outages outages;
  outages.repeat({milliseconds(1000), milliseconds(200)}, {}, t0);
  auto at = [&](int ms) { return outages.advance(t0 + milliseconds(ms)); };
  auto is = [](const sim::Outages::Changes& c, bool off, bool on) {
    return c.powerOff == off && c.powerOn == on && !c.networkDown && !c.networkUp;
  };
  EXPECT_TRUE(is(at(999), false, false));
  EXPECT_EQ(outages.untilChange(t0 + milliseconds(999), milliseconds(50)), milliseconds(1));
  EXPECT_TRUE(is(at(1000), true, false));
  EXPECT_TRUE(outages.off());
  EXPECT_TRUE(is(at(1199), false, false));
  EXPECT_TRUE(is(at(1200), false, true));
  EXPECT_FALSE(outages.cutOff());
  // A worker held up past a whole spell sees it begin and end at once, and
  // the next comes a period later, not in a burst of the missed ones.
  EXPECT_TRUE(is(at(5500), true, true));
  EXPECT_TRUE(is(at(6499), false, false));
  EXPECT_TRUE(is(at(6500), true, false));

  // A call during a spell moves its end; 0 ends it at the next step.
  outages.powerCycle(t0 + milliseconds(6600), milliseconds(1000));
  EXPECT_TRUE(is(at(6700), false, false)) << "no second beginning";
  EXPECT_TRUE(is(at(7599), false, false));
  outages.powerCycle(t0 + milliseconds(7599), milliseconds(0));
  EXPECT_TRUE(is(at(7599), false, true));

  outages.networkDown(t0 + milliseconds(7600), milliseconds(0));
  const sim::Outages::Changes both = at(7600);
  EXPECT_TRUE(both.networkDown && both.networkUp) << "a spell of no length begins and ends";
}

TEST(Outage, RepeatingFaultsOfTheConfigurationComeOnTheirOwn) {
  auto lines = std::make_shared<std::vector<std::string>>();
  auto guard = std::make_shared<std::mutex>();
  sim::Config config;
  config.log = [lines, guard](const std::string& line) {
    std::lock_guard<std::mutex> lock(*guard);
    lines->push_back(line);
  };
  config.powerCycles = {milliseconds(300), milliseconds(100)};
  config.networkOutages = {milliseconds(250), milliseconds(50)};
  Running run(Transport::kUdp, config);
  auto count = [&](const std::string& start) {
    std::lock_guard<std::mutex> lock(*guard);
    return std::count_if(lines->begin(), lines->end(),
                         [&](const std::string& line) { return line.rfind(start, 0) == 0; });
  };
  for (int waited = 0; waited < 10000 && (count("power on") < 2 || count("network up") < 2);
       waited += 50) {
    std::this_thread::sleep_for(milliseconds(50));
  }
  EXPECT_GE(count("power on"), 2);
  EXPECT_GE(count("network up"), 2);

  config.powerCycles = {milliseconds(300), milliseconds(300)};
  sim::Simulator never(Running::onPortZero(config));
  std::string error;
  EXPECT_FALSE(never.start(&error));
  EXPECT_EQ(error, "repeating fault: each spell must end before the next begins");
}

INSTANTIATE_TEST_SUITE_P(Both, Outage, ::testing::Values(Transport::kTcp, Transport::kUdp),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           return info.param == Transport::kTcp ? "Tcp" : "Udp";
                         });

}  // namespace
