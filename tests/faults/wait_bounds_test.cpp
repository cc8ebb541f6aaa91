// The bounded waits, on the device object itself with the waits shortened:
// a lost reply ends its exchange at the bound, a late reply is skipped as a
// wrong packet by the next exchange, and a silent stream hands control back
// with nothing published. The peer is scripted here, so nothing waits on
// anything but the bound under test.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/motionstar.h"
#include "e2e/harness.h"
#include "host/config_file.h"
#include "platform/socket.h"
#include "protocol/limits.h"
#include "support/plain_log.h"

namespace faults {
namespace {

// The tracking system's UDP port on an address of this test's own.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(const std::string& address) {
    socket_ = platform::openSocket(platform::kDatagram);
    const platform::Ipv4Address local =
        platform::makeIpv4Address(platform::inetAddr(address.c_str()), 5000);
    if (socket_ == platform::kNoSocket || platform::bindSocket(socket_, local) != 0) {
      ADD_FAILURE() << "no UDP port 5000 on " << address;
    }
  }
  ~ScriptedPeer() {
    if (socket_ != platform::kNoSocket) platform::closeSocket(socket_);
  }

  // The next command the driver sent (its code), remembering where from.
  int nextCommand() {
    uint8_t packet[300];
    if (platform::waitReadable(socket_, 5, 0) != 1) return -1;
    long got = platform::recvFrom(socket_, packet, sizeof packet, &driver_);
    return got >= 16 ? packet[8] : -1;
  }
  void reply(uint8_t type) {
    uint8_t packet[16] = {};
    packet[8] = type;
    packet[10] = 3;
    platform::sendTo(socket_, packet, sizeof packet, &driver_);
  }

 private:
  platform::SocketHandle socket_ = platform::kNoSocket;
  platform::Ipv4Address driver_ = {};
};

class WaitBounds : public ::testing::Test {
 protected:
  void SetUp() override {
    proto::setWaitsForTesting({0, 200000}, {0, 300000}, {0, 100000});
    const std::string address = e2e::uniqueLoopbackAddress();
    peer = std::make_unique<ScriptedPeer>(address);
    ConfigFile file;
    std::string error;
    ASSERT_TRUE(parseConfigText(
        "device ms motionstar 1\nmotionstaraddress " + address + "\nprotocol udp\nport 0\n",
        "test.conf", &file, &error))
        << error;
    entry = std::make_unique<HostEntry>(file.devices.front());
    device = std::make_unique<CMotionStar>(entry->entry(), &log);
    InitInfo info = storages.initInfo();
    testing::internal::CaptureStdout();
    const int32_t result = device->init(&info);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, 1);
  }
  void TearDown() override {
    device.reset();
    proto::restoreWaits();
  }

  CLogH log = plainLog("ms");
  HostStorages storages{log};
  std::unique_ptr<ScriptedPeer> peer;
  std::unique_ptr<HostEntry> entry;
  std::unique_ptr<CMotionStar> device;
};

TEST_F(WaitBounds, LostWakeUpReplyEndsConfigureAtTheBound) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->configure(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: WARNING: CMotionStar: Time out for waiting reply.\n"
            "ms: ERROR: CMotionStar: Getting ACK for WAKE_UP command failed.\n");
  EXPECT_EQ(peer->nextCommand(), 10);
}

TEST_F(WaitBounds, ReplyLatePastTheBoundIsSkippedByTheNextExchange) {
  testing::internal::CaptureStdout();
  EXPECT_FALSE(device->stopData());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: WARNING: CMotionStar: Time out for waiting reply.\n"
            "ms: ERROR: CMotionStar: Getting ACK for STOP_DATA command failed.\n");
  ASSERT_EQ(peer->nextCommand(), 105);
  peer->reply(205);  // the late STOP_DATA reply
  peer->reply(21);   // and the answer to the SHUT_DOWN that follows
  testing::internal::CaptureStdout();
  EXPECT_TRUE(device->shutDown());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(peer->nextCommand(), 11);
}

TEST_F(WaitBounds, SilentStreamReturnsOneWithNothingPublished) {
  UpdatedMasks masks;
  std::memset(&masks, 0xFF, sizeof masks);
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->recvData(&masks, nullptr), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(e2e::maskWord(masks.tracker), 0u);
  EXPECT_EQ(e2e::recordId(storages.tracker(1).header), 0u);
}

}  // namespace
}  // namespace faults
