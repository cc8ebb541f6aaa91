// A session recorded from the simulator, replayed to the driver through the
// module, publishes what the live session published, record for record and
// in order; so does a capture that lost or repeated a packet, less what was
// lost. Files that cannot be replayed are refused with their reason.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "capture/replay_rig.h"
#include "sim/capture_reader.h"
#include "sim/capture_writer.h"
#include "sim/replay_script.h"

namespace capturetest {
namespace {

using sim::Transport;

// Rewrites the capture at `from` into `to` with `change` applied to its frames.
void rewrite(const std::string& from, const std::string& to,
             const std::function<void(std::vector<sim::CapturedFrame>&)>& change) {
  sim::CaptureFile capture;
  std::string error;
  ASSERT_TRUE(sim::readCaptureFile(from, &capture, &error)) << error;
  change(capture.frames);
  sim::CaptureWriter writer;
  ASSERT_TRUE(writer.open(to, &error)) << error;
  for (const sim::CapturedFrame& frame : capture.frames) {
    writer.write(frame.timeUs, frame.bytes.data(), frame.bytes.size());
  }
}

// The place in `frames` of the k-th data packet from the device.
std::ptrdiff_t dataFrame(const std::vector<sim::CapturedFrame>& frames, int k) {
  for (size_t i = 0; i < frames.size(); ++i) {
    const sim::FrameContent c =
        sim::parseFrame(sim::LinkType::kEthernet, frames[i].bytes.data(), frames[i].bytes.size());
    const bool fromDevice = c.source.port == 6000 || c.source.port == 5000;
    if (c.kind == sim::FrameContent::Kind::kSegment && fromDevice && c.payloadLength > 8 &&
        c.payload[8] == 210 && k-- == 0) {
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  ADD_FAILURE() << "no data packet " << k;
  return 0;
}

std::string loadProblem(const std::string& path) {
  std::shared_ptr<const sim::ReplayScript> script;
  std::string error;
  EXPECT_FALSE(sim::loadReplayScript(path, &script, &error));
  return error;
}

struct Route {
  Transport recorded;
  Transport replayed;
};

class RecordedSession : public ::testing::TestWithParam<Route> {
 protected:
  void SetUp() override {
    const std::string why = replaySkipReason();
    if (!why.empty()) GTEST_SKIP() << why;
    // One file per test: the test's name without the slash of its parameter.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) c = c == '/' ? '-' : c;
    path = scratchPath("recorded-" + name + ".pcap");
    live = runLive(GetParam().recorded, path);
    ASSERT_EQ(live.size(), static_cast<size_t>(kLivePackets));
  }

  std::string path;
  std::vector<PacketRecords> live;
};

TEST_P(RecordedSession, ReplaysToTheDriverAsItRanLive) {
  EXPECT_EQ(runReplay(path, GetParam().replayed, kLivePackets), live);
}

TEST_P(RecordedSession, ALostDataPacketCostsOnlyItsOwnRecords) {
  const std::string lost = path + ".lost.pcap";
  rewrite(path, lost, [](auto& frames) { frames.erase(frames.begin() + dataFrame(frames, 10)); });
  std::vector<PacketRecords> expected = live;
  expected.erase(expected.begin() + 10);
  EXPECT_EQ(runReplay(lost, GetParam().replayed, kLivePackets - 1), expected);
}

TEST_P(RecordedSession, ARepeatedDataPacketChangesNothing) {
  // Over TCP a retransmission the reassembly drops; over UDP the driver
  // reads the packet twice and publishes nothing the second time.
  const std::string repeated = path + ".repeated.pcap";
  rewrite(path, repeated, [](auto& frames) {
    const std::ptrdiff_t at = dataFrame(frames, 10);
    frames.insert(frames.begin() + at + 1, frames[static_cast<size_t>(at)]);
  });
  EXPECT_EQ(runReplay(repeated, GetParam().replayed, kLivePackets), live);
}

TEST_P(RecordedSession, ACaptureCutInsideItsLastPacketIsRefusedNamingIt) {
  sim::CaptureFile capture;
  std::string error;
  ASSERT_TRUE(sim::readCaptureFile(path, &capture, &error)) << error;
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string cut = path + ".cut.pcap";
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() - 5);
  const std::string problem = loadProblem(cut);
  EXPECT_EQ(problem.find(cut + ": packet " + std::to_string(capture.frames.size()) +
                         " cannot be read: truncated dump file"),
            0u)
      << problem;
}

std::string routeName(const ::testing::TestParamInfo<Route>& info) {
  auto name = [](Transport t) { return t == Transport::kTcp ? "Tcp" : "Udp"; };
  return std::string(name(info.param.recorded)) + "RecordedTo" + name(info.param.replayed);
}

INSTANTIATE_TEST_SUITE_P(Routes, RecordedSession,
                         ::testing::Values(Route{Transport::kTcp, Transport::kTcp},
                                           Route{Transport::kUdp, Transport::kUdp},
                                           Route{Transport::kTcp, Transport::kUdp}),
                         routeName);

TEST(ReplayRefuses, FilesThatAreNoCaptureOfThisProtocol) {
  if (!sim::captureFilesSupported()) GTEST_SKIP() << replaySkipReason();
  std::string error;
  {
    SCOPED_TRACE("a capture of another protocol");
    const std::string path = scratchPath("dns.pcap");
    sim::CaptureWriter writer;
    ASSERT_TRUE(writer.open(path, &error)) << error;
    const std::vector<uint8_t> query(40, 0x5A);
    for (int i = 0; i < 3; ++i) {
      const auto frame =
          sim::udpFrame({0x0A000001, 5353}, {0x0A000002, 53}, 1, query.data(), query.size());
      writer.write(1000 * i, frame.data(), frame.size());
    }
    writer.close();
    EXPECT_EQ(loadProblem(path),
              path +
                  ": no packet to or from TCP port 6000 or UDP port 5000: not a MotionStar "
                  "session");
  }
  {
    SCOPED_TRACE("another protocol on port 6000");
    const std::string path = scratchPath("x11.pcap");
    sim::CaptureWriter writer;
    ASSERT_TRUE(writer.open(path, &error)) << error;
    // An X11 connection set-up: byte order 'l', version 11, no authorisation.
    const std::vector<uint8_t> setup = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                        0,   0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0};
    const auto frame = sim::tcpFrame({0x0A000001, 40000}, {0x0A000002, 6000}, 1, 100, 0,
                                     sim::kTcpPsh, setup.data(), setup.size());
    writer.write(0, frame.data(), frame.size());
    writer.close();
    EXPECT_EQ(loadProblem(path), path +
                                     ": packet 1 (TCP to 10.0.0.2:6000) does not hold a "
                                     "MotionStar command (type byte 0x00)");
  }
  {
    SCOPED_TRACE("a file that is no capture");
    const std::string path = scratchPath("corrupt.pcap");
    std::ofstream(path, std::ios::binary) << "GIF89a, not a capture at all\n";
    const std::string problem = loadProblem(path);
    EXPECT_EQ(problem.find(path + ": cannot be read as a packet capture ("), 0u) << problem;
  }
  {
    SCOPED_TRACE("no file");
    const std::string problem = loadProblem(scratchPath("missing.pcap"));
    EXPECT_NE(problem.find("No such file or directory"), std::string::npos) << problem;
  }
}

}  // namespace
}  // namespace capturetest
