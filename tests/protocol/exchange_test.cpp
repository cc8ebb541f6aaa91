#include "protocol/exchange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loopback_peer.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/setup.h"
#include "support/capture.h"
#include "support/plain_log.h"

namespace {

using Lines = std::vector<std::string>;
using Transport = LoopbackPeer::Transport;

std::string debugLine(const std::string& text) {
  return "DEV: DEBUG: CMotionStar: " + text;
}
std::string errorLine(const std::string& text) {
  return "DEV: ERROR: CMotionStar: " + text;
}
const std::string kTimeOutLine = "DEV: WARNING: CMotionStar: Time out for waiting reply.";
const std::string kWrongLine = "DEV: DEBUG: WARNING: CMotionStar: Got wrong packet.";

// A command as the driver must send it: zero but for code, unit and version 3.
Bytes command(uint8_t code, uint8_t unit = 0) {
  return {0, 0, 0, 0, 0, 0, 0, 0, code, unit, 3, 0, 0, 0, 0, 0};
}

// The device's logger with its own DEBUG output selected, and a socket on
// the same logger connected to a scripted peer.
class Exchange : public ::testing::TestWithParam<Transport> {
 protected:
  Exchange() : peer(GetParam()), socket(&log) {
    proto::setWaitsForTesting({3, 0}, {3, 0}, {3, 0});
    bool tcp = GetParam() == Transport::kTcp;
    EXPECT_TRUE(socket.openSocket(tcp ? CSocketH::kTcp : CSocketH::kUdp));
    if (!tcp) {
      EXPECT_TRUE(socket.bindLocal(0));
    }
    EXPECT_TRUE(socket.setDestHost("127.0.0.1", peer.port()));
    if (tcp) {
      EXPECT_TRUE(socket.connectDest());
    }
  }
  ~Exchange() override { proto::restoreWaits(); }

  static CLogH deviceLog() {
    CLogH log = plainLog("DEV", 1);
    log.ownerLevel = 1;
    return log;
  }

  // A read of nothing: a closed connection, or an empty datagram.
  void answerNothing(LoopbackPeer& p) {
    if (p.transport() == Transport::kTcp) {
      p.closeConnection();
    } else {
      p.send({});
    }
  }

  CLogH log = deviceLog();
  LoopbackPeer peer;
  CSocketH socket;
  CoutCapture out;
};

TEST_P(Exchange, SimpleCommandsSendBareHeadersAndCheckTheReply) {
  peer.start([](LoopbackPeer& p) {
    answerTurns(p, {{header(20)}, {header(21)}, {header(204)}, {header(205)}});
  });
  EXPECT_TRUE(proto::wakeUp(socket, log));
  EXPECT_TRUE(proto::shutDown(socket, log));
  EXPECT_TRUE(proto::runContinuous(socket, log));
  EXPECT_TRUE(proto::stopData(socket, log));
  peer.finish();
  EXPECT_EQ(peer.received(),
            (std::vector<Bytes>{command(10), command(11), command(104), command(105)}));
  EXPECT_EQ(
      out.lines(),
      (Lines{debugLine("Sending WAKE_UP command."), debugLine("size:16, type:20, error code:0"),
             debugLine("Sending WAKE_UP command done."), debugLine("Sending SHUT_DOWN command."),
             debugLine("size:16, type:21, error code:0"),
             debugLine("Sending SHUT_DOWN command done."),
             debugLine("Sending RUN_CONTINUOUS command."),
             debugLine("size:16, type:204, error code:0"),
             debugLine("Sending RUN_CONTINUOUS command done."),
             debugLine("Sending STOP_DATA command."), debugLine("size:16, type:205, error code:0"),
             debugLine("Sending STOP_DATA command done.")}));
}

TEST_P(Exchange, WrongPacketsAreSkippedUpToAHundred) {
  peer.start([](LoopbackPeer& p) {
    answerTurns(p, {{header(21), header(204), header(205, 0, 0, 7)}});
    std::vector<Bytes> wrong(100, header(205));
    wrong.push_back(header(204));  // too late: the hundredth read was the last
    answerTurns(p, {wrong});
  });
  EXPECT_TRUE(proto::stopData(socket, log));
  EXPECT_EQ(out.lines(), (Lines{debugLine("Sending STOP_DATA command."), kWrongLine, kWrongLine,
                                debugLine("size:16, type:205, error code:0"),
                                debugLine("Sending STOP_DATA command done.")}));
  out.clear();
  EXPECT_FALSE(proto::runContinuous(socket, log));
  Lines expected{debugLine("Sending RUN_CONTINUOUS command.")};
  expected.insert(expected.end(), 100, kWrongLine);
  expected.push_back(debugLine("size:16, type:205, error code:0"));
  expected.push_back(errorLine("Sending RUN_CONTINUOUS command failed."));
  EXPECT_EQ(out.lines(), expected);
}

TEST_P(Exchange, ASkippedPacketIsSkippedWhole) {
  Bytes data = header(210, 0, 36);  // a data packet of a running stream
  data.resize(52, 0xCC);
  data[16 + 8] = 205;  // a reply's type where a 16-byte read would look for one
  peer.start([&](LoopbackPeer& p) {
    answerTurns(p, {{data, data, header(205)}});
    if (p.transport() == Transport::kUdp) return;
    p.receive();
    Bytes cut = header(210, 0, 36);
    cut.resize(30, 0);
    p.send(cut);
    p.closeConnection();
  });
  EXPECT_TRUE(proto::stopData(socket, log));
  EXPECT_EQ(out.lines(), (Lines{debugLine("Sending STOP_DATA command."), kWrongLine, kWrongLine,
                                debugLine("size:16, type:205, error code:0"),
                                debugLine("Sending STOP_DATA command done.")}));
  if (GetParam() == Transport::kTcp) {
    // A stream that ends inside a skipped packet is a read of nothing.
    out.clear();
    EXPECT_FALSE(proto::shutDown(socket, log));
    EXPECT_EQ(out.lines(), (Lines{debugLine("Sending SHUT_DOWN command."), kWrongLine, kTimeOutLine,
                                  errorLine("Getting ACK for SHUT_DOWN command failed.")}));
  }
}

TEST_P(Exchange, ErrorCodesAndEmptyOrShortReadsFail) {
  peer.start([this](LoopbackPeer& p) {
    answerTurns(p, {{header(21, 1)}, {Bytes(15, 0xC9)}});
    p.receive();
    answerNothing(p);
  });
  uint8_t buffer[proto::kStatusBufferBytes] = {};
  EXPECT_FALSE(proto::shutDown(socket, log));
  EXPECT_EQ(proto::getStatus(socket, log, buffer, 0), 0);  // 15 bytes: short, not a time-out
  EXPECT_FALSE(proto::wakeUp(socket, log));
  EXPECT_EQ(
      out.lines(),
      (Lines{debugLine("Sending SHUT_DOWN command."), debugLine("size:16, type:21, error code:1"),
             errorLine("SHUT_DOWN command incompleted."), debugLine("Sending GET_STATUS command."),
             errorLine("Getting ACK for GET_STATUS command failed."),
             debugLine("Sending WAKE_UP command."), kTimeOutLine,
             errorLine("Getting ACK for WAKE_UP command failed.")}));
}

TEST_P(Exchange, AWaitThatEndsIsATimeOut) {
  proto::setWaitsForTesting({0, 50000}, {0, 50000}, {0, 50000});
  peer.start([](LoopbackPeer& p) {
    p.receive();
    p.awaitRelease();
  });
  EXPECT_FALSE(proto::stopData(socket, log));
  peer.release();
  EXPECT_EQ(out.lines(), (Lines{debugLine("Sending STOP_DATA command."), kTimeOutLine,
                                errorLine("Getting ACK for STOP_DATA command failed.")}));
}

TEST_P(Exchange, AReplyInTwoPiecesIsAReadFailure) {
  peer.start([](LoopbackPeer& p) {
    p.receive();
    Bytes reply = header(204);
    p.send(Bytes(reply.begin(), reply.begin() + 8));
    if (p.awaitRelease()) p.send(Bytes(reply.begin() + 8, reply.end()));
  });
  EXPECT_FALSE(proto::runContinuous(socket, log));
  peer.release();
  EXPECT_EQ(out.lines(), (Lines{debugLine("Sending RUN_CONTINUOUS command."),
                                errorLine("Getting ACK for RUN_CONTINUOUS command failed.")}));
}

TEST_P(Exchange, WakeUpRecoversThroughStopAndShutDown) {
  peer.start([](LoopbackPeer& p) {
    answerTurns(p, {{header(20, 5)}, {header(205)}, {header(21), header(20)}});
  });
  EXPECT_TRUE(proto::wakeUp(socket, log));
  peer.finish();
  EXPECT_EQ(peer.received(), (std::vector<Bytes>{command(10), command(105), command(11)}));
  EXPECT_EQ(
      out.lines(),
      (Lines{debugLine("Sending WAKE_UP command."), debugLine("Sending STOP_DATA command."),
             debugLine("size:16, type:205, error code:0"),
             debugLine("Sending STOP_DATA command done."), debugLine("Sending SHUT_DOWN command."),
             debugLine("size:16, type:21, error code:0"),
             debugLine("Sending SHUT_DOWN command done."),
             debugLine("size:16, type:20, error code:0"),
             debugLine("Sending WAKE_UP command done.")}));
}

TEST_P(Exchange, WakeUpFailsWhenItsRecoveryFails) {
  const Bytes marker = {0xEE};
  peer.start([](LoopbackPeer& p) {
    answerTurns(p, {{header(20, 5)}, {header(205, 2)}});
    p.receive();
  });
  EXPECT_FALSE(proto::wakeUp(socket, log));
  socket.sendBytes(marker.data(), 1);  // what the peer gets next: no SHUT_DOWN came
  peer.finish();
  EXPECT_EQ(peer.received(), (std::vector<Bytes>{command(10), command(105), marker}));
  EXPECT_EQ(out.lines(),
            (Lines{debugLine("Sending WAKE_UP command."), debugLine("Sending STOP_DATA command."),
                   debugLine("size:16, type:205, error code:2"),
                   errorLine("STOP_DATA command incompleted.")}));
}

TEST_P(Exchange, GetStatusReturnsTheReply) {
  Bytes reply = header(201, 0, 4, 5);
  reply.insert(reply.end(), {9, 8, 7, 6});
  // Over TCP a skipped packet and the reply could arrive in one read.
  bool udp = GetParam() == Transport::kUdp;
  peer.start([&](LoopbackPeer& p) {
    if (udp) {
      answerTurns(p, {{header(99), reply}, {header(201, 4)}});
    } else {
      answerTurns(p, {{reply}, {header(201, 4)}});
    }
  });
  uint8_t buffer[proto::kStatusBufferBytes] = {};
  EXPECT_EQ(proto::getStatus(socket, log, buffer, 5), 20);
  EXPECT_EQ(Bytes(buffer, buffer + 20), reply);
  EXPECT_EQ(proto::getStatus(socket, log, buffer, 0), 0);
  peer.finish();
  EXPECT_EQ(peer.received(), (std::vector<Bytes>{command(101, 5), command(101, 0)}));
  Lines expected{debugLine("Sending GET_STATUS command.")};
  if (udp) expected.push_back(kWrongLine);
  expected.insert(
      expected.end(),
      {debugLine("size:20, type:201, error code:0"), debugLine("Sending GET_STATUS command done."),
       debugLine("Sending GET_STATUS command."), debugLine("size:16, type:201, error code:4"),
       errorLine("GET_STATUS command incompleted.")});
  EXPECT_EQ(out.lines(), expected);
}

// A unit's status reply: header bytes the device chose, 64 data bytes.
Bytes unitStatus() {
  Bytes reply = {1, 2, 3, 4, 5, 6, 7, 8, 201, 0, 7, 0, 0xAB, 0xCD, 0x00, 0x40};
  for (uint8_t i = 0; i < 64; ++i) reply.push_back(static_cast<uint8_t>(0x80 + i));
  reply[16 + 8] = 0x01;  // scaling 288
  reply[16 + 9] = 0x20;
  return reply;
}

TEST_P(Exchange, SendSetupSendsTheEditedStatusBack) {
  peer.start([](LoopbackPeer& p) { answerTurns(p, {{unitStatus()}, {header(202)}}); });
  const uint16_t table[7] = {};
  proto::UnitSettings settings{proto::ReportRate::kEvery8,
                               proto::Hemisphere::kPlusY,
                               table,
                               false,
                               table,
                               false,
                               table,
                               false,
                               true};
  float scale = 12.0f;
  EXPECT_TRUE(proto::sendUnitSetup(socket, log, 3, settings, &scale));
  EXPECT_EQ(scale, 24.0f);
  peer.finish();
  // Type, unit and version rewritten; the other header bytes, the byte
  // count included, travel back as the device sent them.
  Bytes expected = unitStatus();
  expected[8] = 102;
  expected[9] = 3;
  expected[10] = 3;
  expected[16 + 7] = 8;
  expected[16 + 10] = 5;
  const uint8_t alignment[6] = {0x3F, 0xFF, 0x00, 0x00, 0xC0, 0x00};
  std::copy(alignment, alignment + 6, expected.begin() + 16 + 58);
  ASSERT_EQ(peer.received().size(), 2u);
  EXPECT_EQ(peer.received()[1], expected);
  EXPECT_EQ(out.lines(), (Lines{debugLine("Sending GET_STATUS command."),
                                debugLine("size:80, type:201, error code:0"),
                                debugLine("Sending GET_STATUS command done."),
                                debugLine("Sending SEND_SETUP command."),
                                debugLine("Sending SEND_SETUP command done.")}));
}

TEST_P(Exchange, SendSetupReadsOnceAndNeedsItsStatus) {
  const Bytes marker = {0xEE};
  peer.start([this](LoopbackPeer& p) {
    answerTurns(p, {{unitStatus()}, {header(201)}, {header(201, 9)}, {}, {unitStatus()}});
    p.receive();
    answerNothing(p);
  });
  proto::SetupEditor keep = [](uint8_t*, int32_t) {};
  const Lines statusDone{
      debugLine("Sending GET_STATUS command."), debugLine("size:80, type:201, error code:0"),
      debugLine("Sending GET_STATUS command done."), debugLine("Sending SEND_SETUP command.")};

  // A wrong reply is not skipped.
  EXPECT_FALSE(proto::sendSetup(socket, log, 1, keep));
  Lines expected = statusDone;
  expected.push_back(errorLine("SEND_SETUP command incompleted."));
  EXPECT_EQ(out.lines(), expected);
  out.clear();

  // A failed GET_STATUS sends no setup: the next thing the peer gets is the marker.
  EXPECT_FALSE(proto::sendSetup(socket, log, 1, keep));
  socket.sendBytes(marker.data(), 1);
  EXPECT_EQ(out.lines(), (Lines{debugLine("Sending GET_STATUS command."),
                                debugLine("size:16, type:201, error code:9"),
                                errorLine("GET_STATUS command incompleted.")}));
  out.clear();

  EXPECT_FALSE(proto::sendSetup(socket, log, 1, keep));
  expected = statusDone;
  expected.insert(expected.end(), {kTimeOutLine, errorLine("Getting SETUP data failed.")});
  EXPECT_EQ(out.lines(), expected);
  peer.finish();
  ASSERT_EQ(peer.received().size(), 6u);
  EXPECT_EQ(peer.received()[2], command(101, 1));
  EXPECT_EQ(peer.received()[3], marker);
}

// A command that cannot go out fails at once, with its own line, and waits
// for no reply. The setup's send fails after its status came (the socket
// closed in between); then the status command itself has nothing to send on.
TEST_P(Exchange, StatusAndSetupCommandsThatCannotBeSentFail) {
  peer.start([](LoopbackPeer& p) { answerTurns(p, {{unitStatus()}}); });
  proto::SetupEditor closeTheSocket = [this](uint8_t*, int32_t) { socket.closeSocket(); };
  EXPECT_FALSE(proto::sendSetup(socket, log, 2, closeTheSocket));
  uint8_t buffer[proto::kStatusBufferBytes] = {};
  EXPECT_EQ(proto::getStatus(socket, log, buffer, 2), 0);
  peer.finish();
  EXPECT_EQ(peer.received(), (std::vector<Bytes>{command(101, 2)}));
  Lines own;
  for (const std::string& line : out.lines()) {
    if (line.find("CMotionStar:") != std::string::npos) own.push_back(line);
  }
  EXPECT_EQ(
      own,
      (Lines{
          debugLine("Sending GET_STATUS command."), debugLine("size:80, type:201, error code:0"),
          debugLine("Sending GET_STATUS command done."), debugLine("Sending SEND_SETUP command."),
          errorLine("Sending SEND_SETUP command failed."), debugLine("Sending GET_STATUS command."),
          errorLine("Sending GET_STATUS command failed.")}));
}

TEST_P(Exchange, StatusReportsFetchTheirOwnStatus) {
  Bytes system = header(201, 0, 16);
  system.resize(32, 0);
  system[16] = 0x80;
  std::copy_n("086100", 6, system.begin() + 21);
  peer.start([&](LoopbackPeer& p) {
    answerTurns(p, {{system}, {unitStatus()}, {header(201, 1)}});
  });
  log.debugLevel = 0;  // the reports are INFO lines; keep the exchange's DEBUG lines out
  EXPECT_TRUE(proto::printSystemStatus(socket, log, 1));
  EXPECT_TRUE(proto::printUnitSetup(socket, log, 4));
  EXPECT_FALSE(proto::printUnitSetup(socket, log, 4));
  peer.finish();
  EXPECT_EQ(peer.received(),
            (std::vector<Bytes>{command(101, 0), command(101, 4), command(101, 4)}));
  Lines lines = out.lines();
  ASSERT_EQ(lines.size(), 4u + 27u + 1u);
  EXPECT_EQ(lines[0], "DEV: INFO: CMotionStar: The system is running.");
  EXPECT_EQ(lines[1], "DEV: INFO: CMotionStar: ERC address: 0 with the transmitter number 0");
  EXPECT_EQ(lines[2], "DEV: INFO: CMotionStar: Measurement rate: 86.1 samples/sec.");
  EXPECT_EQ(lines[5], "DEV: INFO: CMotionStar: (dev:4) Scaling: 288");
  EXPECT_EQ(lines.back(), errorLine("GET_STATUS command incompleted."));
}

INSTANTIATE_TEST_SUITE_P(Transports, Exchange, ::testing::Values(Transport::kTcp, Transport::kUdp),
                         [](const auto& info) {
                           return info.param == Transport::kTcp ? "Tcp" : "Udp";
                         });

}  // namespace
