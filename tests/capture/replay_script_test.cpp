// A captured session turned into the replay: the answers each command got,
// the status blocks and SEND_SETUP rewriting them, the data packets' timing,
// and sessions that cannot be replayed refused with the missing reply.
#include <gtest/gtest.h>

#include "capture/session_builder.h"
#include "sim/client.h"
#include "sim/packets.h"
#include "sim/replay_device.h"
#include "sim/replay_script.h"
#include "sim/replay_stream.h"

namespace capturetest {
namespace {

using sim::CapturedSession;
using sim::ReplayScript;

// A session of packets in order, each 1 ms after the one before.
class Session {
 public:
  Session& command(const Bytes& bytes) { return add(false, bytes); }
  Session& device(const Bytes& bytes) { return add(true, bytes); }
  Session& after(int64_t us) {
    timeUs_ += us - 1000;
    return *this;
  }
  const CapturedSession& captured() const { return session_; }

 private:
  Session& add(bool fromDevice, const Bytes& bytes) {
    session_.packets.push_back({fromDevice, timeUs_ += 1000, session_.packets.size() + 1, bytes});
    return *this;
  }
  CapturedSession session_;
  int64_t timeUs_ = 0;
};

ReplayScript scriptOf(const Session& session) {
  ReplayScript script;
  std::string problem;
  EXPECT_TRUE(sim::buildReplayScript(session.captured(), &script, &problem)) << problem;
  return script;
}

std::string problemOf(const Session& session) {
  ReplayScript script;
  std::string problem;
  EXPECT_FALSE(sim::buildReplayScript(session.captured(), &script, &problem));
  return problem;
}

Bytes unitBlock(uint8_t fill) {
  return Bytes(64, fill);
}

TEST(ReplayScript, EachCommandKeepsWhatTheDeviceSentAfterItAndTheDataTheirTiming) {
  Session s;
  s.command(packet(sim::kWakeUp)).device(packet(sim::kWakeUpReply, 0, 5));  // refused at first
  s.command(packet(sim::kStopData)).device(packet(sim::kStopReply));
  s.command(packet(sim::kShutDown))
      .device(packet(sim::kShutDownReply))
      .device(packet(sim::kWakeUpReply));  // the system finishes the WAKE_UP
  s.command(packet(sim::kGetStatus, 2))
      .device(packet(99))  // a wrong packet first
      .device(packet(sim::kStatusReply, 2, 0, unitBlock(0xAA)));
  s.command(packet(sim::kRunContinuous)).device(packet(sim::kRunReply));
  s.after(5000).device(dataPacket(0)).after(16000).device(dataPacket(1));
  s.device(packet(sim::kStatusReply, 2, 0, unitBlock(0xBB)));  // a reply among the data
  s.after(17000).device(dataPacket(2));
  const ReplayScript script = scriptOf(s);

  auto answers = [&](uint8_t code, uint8_t unit = 0) {
    return script.answers.at(sim::answerKey(packet(code, unit)));
  };
  EXPECT_EQ(answers(sim::kWakeUp), (std::vector<std::vector<Bytes>>{{packet(20, 0, 5)}}));
  EXPECT_EQ(answers(sim::kShutDown), (std::vector<std::vector<Bytes>>{{packet(21), packet(20)}}));
  EXPECT_EQ(answers(sim::kRunContinuous),
            (std::vector<std::vector<Bytes>>{{packet(204), packet(201, 2, 0, unitBlock(0xBB))}}));
  EXPECT_EQ(answers(sim::kGetStatus, 2).at(0).size(), 2u);
  EXPECT_EQ(script.blocks.at(2), unitBlock(0xAA));
  EXPECT_EQ(script.commands, 5u);

  ASSERT_EQ(script.data.size(), 3u);
  EXPECT_EQ(script.data[0].bytes, dataPacket(0));
  EXPECT_EQ(script.data[0].delayUs, 5000);  // after the RUN_CONTINUOUS reply
  EXPECT_EQ(script.data[1].delayUs, 16000);
  EXPECT_EQ(script.data[2].delayUs, 18000);
  EXPECT_EQ(script.streamUs, 34000);
}

TEST(ReplayScript, ACaptureWithoutTheRepliesIsRefusedNamingTheFirstCommandLeftUnanswered) {
  EXPECT_EQ(problemOf(Session()
                          .command(packet(sim::kWakeUp))
                          .command(packet(sim::kGetStatus))
                          .device(packet(sim::kStatusReply))),
            "no reply to WAKE_UP (packet 1) before the driver's next command (packet 2)");
  EXPECT_EQ(problemOf(Session()
                          .command(packet(sim::kWakeUp))
                          .device(packet(sim::kWakeUpReply))
                          .command(packet(sim::kGetStatus, 3))
                          .command(packet(sim::kGetStatus, 4))
                          .device(packet(sim::kStatusReply, 4))),
            "no reply to GET_STATUS for unit 3 (packet 3) before the driver's next command (packet "
            "4)");
  EXPECT_EQ(problemOf(Session().device(dataPacket(0)).device(dataPacket(1))),
            "no command from a driver to the device 0.0.0.0:0 in the capture: it must hold both "
            "directions");
  EXPECT_EQ(problemOf(Session()
                          .command(packet(sim::kRunContinuous))
                          .device(packet(sim::kRunReply))
                          .device(dataPacket(0))),
            "no reply to WAKE_UP: the capture must begin before the driver wakes the system");
}

TEST(ReplayScript, ACaptureThatEndsBeforeTheStopIsCompletedWithPlainReplies) {
  const ReplayScript script = scriptOf(Session()
                                           .command(packet(sim::kWakeUp))
                                           .device(packet(sim::kWakeUpReply))
                                           .command(packet(sim::kRunContinuous))
                                           .device(packet(sim::kRunReply))
                                           .device(dataPacket(0))
                                           .command(packet(sim::kStopData)));
  EXPECT_EQ(script.answers.at(sim::answerKey(packet(sim::kStopData))),
            (std::vector<std::vector<Bytes>>{{packet(sim::kStopReply)}}));
  EXPECT_EQ(script.answers.at(sim::answerKey(packet(sim::kShutDown))),
            (std::vector<std::vector<Bytes>>{{packet(sim::kShutDownReply)}}));
  EXPECT_EQ(script.notes,
            (std::vector<std::string>{"the capture ends before the reply to STOP_DATA (packet 6)",
                                      "no STOP_DATA in the capture: answered with a plain reply",
                                      "no SHUT_DOWN in the capture: answered with a plain reply"}));
}

std::shared_ptr<const ReplayScript> deviceScript() {
  Session s;
  s.command(packet(sim::kWakeUp)).device(packet(sim::kWakeUpReply, 0, 7));
  s.command(packet(sim::kWakeUp)).device(packet(sim::kWakeUpReply));
  s.command(packet(sim::kGetStatus, 2)).device(packet(sim::kStatusReply, 2, 0, unitBlock(0xAA)));
  s.command(packet(sim::kSendSetup, 2, 0, unitBlock(0xCC))).device(packet(sim::kSetupReply, 2));
  s.command(packet(sim::kGetStatus, 2)).device(packet(sim::kStatusReply, 2, 0, unitBlock(0xCC)));
  return std::make_shared<ReplayScript>(scriptOf(s));
}

TEST(ReplayDevice, StatusBlocksStartAsRecordedAndSendSetupRewritesThem) {
  sim::ReplayDevice device(deviceScript());
  const Bytes status = packet(sim::kGetStatus, 2);
  EXPECT_EQ(device.answer(status), (std::vector<Bytes>{packet(201, 2, 0, unitBlock(0xAA))}));

  // The replaying driver writes other settings than the recorded one did.
  const Bytes setup = packet(sim::kSendSetup, 2, 0, unitBlock(0x55));
  const std::vector<Bytes> accepted = device.answer(setup);
  EXPECT_EQ(accepted, (std::vector<Bytes>{packet(202, 2)}));
  device.carryOut(setup, accepted);
  EXPECT_EQ(device.answer(status), (std::vector<Bytes>{packet(201, 2, 0, unitBlock(0x55))}));

  // A block of another length is not the unit's: it is not stored.
  const Bytes wrongLength = packet(sim::kSendSetup, 2, 0, Bytes(10, 0x11));
  device.carryOut(wrongLength, device.answer(wrongLength));
  EXPECT_EQ(device.statusBlock(2), unitBlock(0x55));

  EXPECT_TRUE(device.answer(packet(sim::kGetStatus, 9)).empty());  // never in the capture
}

TEST(ReplayDevice, RepeatedCommandsTakeTheNextRecordedAnswerThenTheLastAgain) {
  sim::ReplayDevice device(deviceScript());
  const Bytes wakeUp = packet(sim::kWakeUp);
  EXPECT_EQ(device.answer(wakeUp), (std::vector<Bytes>{packet(20, 0, 7)}));
  EXPECT_EQ(device.answer(wakeUp), (std::vector<Bytes>{packet(20)}));
  EXPECT_EQ(device.answer(wakeUp), (std::vector<Bytes>{packet(20)}));
  EXPECT_TRUE(sim::ReplayDevice::startsStream({packet(sim::kRunReply)}));
  EXPECT_FALSE(sim::ReplayDevice::startsStream({packet(sim::kRunReply, 0, 1)}));
  EXPECT_TRUE(sim::ReplayDevice::stopsStream({packet(sim::kShutDownReply)}));
}

TEST(ReplayStream, PacketsFallDueAtTheirRecordedTimesDividedByTheSpeed) {
  auto script = std::make_shared<ReplayScript>();
  for (int64_t delayMs : {10, 20, 30}) {
    script->data.push_back({delayMs * 1000, dataPacket(static_cast<uint16_t>(delayMs))});
  }
  using std::chrono::milliseconds;
  const auto t0 = sim::StreamSource::Clock::now();

  sim::ReplayStream once(script, 2.0, false);
  EXPECT_EQ(once.takeDue(t0 + milliseconds(100)), 0);  // not started
  once.start(sim::Peer{}, t0);
  EXPECT_EQ(once.takeDue(t0 + milliseconds(4)), 0);
  EXPECT_EQ(once.takeDue(t0 + milliseconds(5)), 1);
  EXPECT_EQ(once.takeDue(t0 + milliseconds(15)), 2);  // 5 ms, then 10 ms more
  EXPECT_EQ(once.untilDue(t0, milliseconds(100)), milliseconds(5));
  EXPECT_EQ(once.nextPacket(nullptr), dataPacket(10));
  EXPECT_EQ(once.untilDue(t0, milliseconds(100)), milliseconds(15));
  EXPECT_EQ(once.nextPacket(nullptr), dataPacket(20));
  EXPECT_EQ(once.nextPacket(nullptr), dataPacket(30));
  EXPECT_TRUE(once.finished());
  EXPECT_EQ(once.takeDue(t0 + milliseconds(1000)), 0);
  EXPECT_TRUE(once.nextPacket(nullptr).empty());
  EXPECT_EQ(once.nextIndex(), 3u);

  sim::ReplayStream looping(script, 1.0, true);
  looping.start(sim::Peer{}, t0);
  EXPECT_EQ(looping.takeDue(t0 + milliseconds(70)), 4);  // 10, 30, 60, then 70 again
  for (int i = 0; i < 3; ++i) looping.nextPacket(nullptr);
  EXPECT_FALSE(looping.finished());
  EXPECT_EQ(looping.nextPacket(nullptr), dataPacket(10));
}

// A power cycle during a replay: the stream stops with the power, and the
// replayed system answers nothing but a WAKE_UP after it, as a real one.
TEST(ReplayedSystem, APowerCycleStopsTheStreamAndLeavesItAsleepUntilAWakeUp) {
  Session s;
  s.command(packet(sim::kWakeUp)).device(packet(sim::kWakeUpReply));
  s.command(packet(sim::kRunContinuous)).device(packet(sim::kRunReply));
  s.after(500000).device(dataPacket(0));  // long after: none is due before the power goes
  sim::Config config;
  config.address = "127.0.0.1";
  config.enableTcp = false;
  config.udpPort = 0;
  config.replay = std::make_shared<ReplayScript>(scriptOf(s));
  sim::Simulator simulator(config);
  std::string error;
  ASSERT_TRUE(simulator.start(&error)) << error;
  simtest::Client client(sim::Transport::kUdp, simulator.udpPort());
  ASSERT_TRUE(client.ok());
  auto replyType = [&](uint8_t code) {
    EXPECT_TRUE(client.send(simtest::command(code)));
    const Bytes reply = client.receivePacket();
    return reply.size() > 8 ? reply[8] : 0;
  };
  ASSERT_EQ(replyType(sim::kWakeUp), sim::kWakeUpReply);
  ASSERT_EQ(replyType(sim::kRunContinuous), sim::kRunReply);
  EXPECT_TRUE(simulator.streaming());

  simulator.powerCycle(std::chrono::milliseconds(50));
  ASSERT_TRUE(simulator.waitUntilReachable(std::chrono::milliseconds(simtest::kWaitMs)));
  EXPECT_FALSE(simulator.streaming());
  ASSERT_TRUE(client.send(simtest::command(sim::kRunContinuous)));
  EXPECT_TRUE(client.receiveOnce(300).empty()) << "answered before a WAKE_UP";
  EXPECT_FALSE(simulator.streaming());
  EXPECT_EQ(replyType(sim::kWakeUp), sim::kWakeUpReply);
  EXPECT_EQ(replyType(sim::kRunContinuous), sim::kRunReply);
  EXPECT_TRUE(simulator.streaming());
  simulator.stop();
}

}  // namespace
}  // namespace capturetest
