#include "protocol/data_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "loopback_peer.h"
#include "platform/process.h"
#include "protocol/limits.h"
#include "support/capture.h"
#include "support/plain_log.h"

namespace {

using Transport = LoopbackPeer::Transport;

// A data packet: header with the byte count, then count body bytes from first on.
Bytes dataPacket(uint16_t count, uint8_t first) {
  Bytes packet = header(210, 0, count);
  for (uint16_t i = 0; i < count; ++i) packet.push_back(static_cast<uint8_t>(first + i));
  return packet;
}

Bytes prefix(const Bytes& bytes, size_t n) {
  return Bytes(bytes.begin(), bytes.begin() + n);
}

class DataReader : public ::testing::Test {
 protected:
  DataReader() { proto::setWaitsForTesting({3, 0}, {3, 0}, {3, 0}); }
  ~DataReader() override { proto::restoreWaits(); }

  void connect(LoopbackPeer& peer) {
    bool tcp = peer.transport() == Transport::kTcp;
    ASSERT_TRUE(socket.openSocket(tcp ? CSocketH::kTcp : CSocketH::kUdp));
    if (!tcp) {
      ASSERT_TRUE(socket.bindLocal(0));
    }
    ASSERT_TRUE(socket.setDestHost("127.0.0.1", peer.port()));
    if (tcp) {
      ASSERT_TRUE(socket.connectDest());
    }
  }

  Bytes read(int32_t requested) {
    Bytes buffer(requested, 0);
    int32_t got = reader.read(socket, buffer.data(), requested);
    buffer.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return buffer;
  }

  CLogH log = plainLog("DEV");
  CSocketH socket{&log};
  DataPacketReader reader;
};

TEST_F(DataReader, UdpTakesOneDatagramFromTheDeviceOnly) {
  LoopbackPeer peer(Transport::kUdp);
  connect(peer);
  uint16_t port = socket.boundPort();
  peer.start([port](LoopbackPeer& p) {
    p.sendTo(dataPacket(14, 1), port);
    p.sendTo(dataPacket(40, 1), port);
    p.awaitRelease();
    p.sendTo(dataPacket(2, 7), port);
  });
  EXPECT_EQ(read(52), dataPacket(14, 1));
  EXPECT_EQ(read(52), prefix(dataPacket(40, 1), 52));

  // The same datagrams from an address that is not the device's are dropped.
  ASSERT_TRUE(socket.setDestAddr("127.0.0.2", peer.port()));
  peer.release();
  uint8_t buffer[52];
  EXPECT_EQ(reader.read(socket, buffer, sizeof buffer), 0);

  proto::setWaitsForTesting({3, 0}, {3, 0}, {0, 20000});
  EXPECT_EQ(reader.read(socket, buffer, sizeof buffer), 0);  // nothing more came
}

TEST_F(DataReader, TcpFramesPacketsWhateverTheirPieces) {
  LoopbackPeer peer(Transport::kTcp);
  connect(peer);
  peer.start([](LoopbackPeer& p) {
    Bytes stream = dataPacket(14, 1);
    Bytes second = dataPacket(36, 50);  // longer than asked for: the rest is dropped
    Bytes third = dataPacket(0, 0);
    Bytes fourth = dataPacket(14, 100);
    stream.insert(stream.end(), second.begin(), second.end());
    stream.insert(stream.end(), third.begin(), third.end());
    stream.insert(stream.end(), fourth.begin(), fourth.begin() + 9);  // a header in two pieces
    p.send(stream);
    p.send(Bytes(fourth.begin() + 9, fourth.begin() + 20));
    p.send(Bytes(fourth.begin() + 20, fourth.end()));
    p.closeConnection();
  });
  EXPECT_EQ(read(30), dataPacket(14, 1));
  EXPECT_EQ(read(30), prefix(dataPacket(36, 50), 30));
  EXPECT_EQ(read(30), dataPacket(0, 0));
  EXPECT_EQ(read(30), dataPacket(14, 100));
  proto::setWaitsForTesting({3, 0}, {3, 0}, {0, 20000});
  EXPECT_EQ(read(30), Bytes());  // the peer closed
}

TEST_F(DataReader, TcpClosedByThePeerStillTakesTheWholeWait) {
  LoopbackPeer peer(Transport::kTcp);
  connect(peer);
  peer.start([](LoopbackPeer& p) {
    p.send(dataPacket(14, 1));
    p.closeConnection();
  });
  EXPECT_EQ(read(30), dataPacket(14, 1));
  // A closed connection reads as nothing at once; a host calling again and
  // again must not spin on it, so each empty read lasts the data wait.
  proto::setWaitsForTesting({3, 0}, {3, 0}, {0, 100000});
  const int64_t started = platform::monotonicMilliseconds();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(read(30), Bytes());
  // Three waits of 100 ms; the slack is for coarse system clocks (Windows),
  // while a read that returned at once would take next to nothing.
  EXPECT_GE(platform::monotonicMilliseconds() - started, 200);
}

TEST_F(DataReader, TcpResumesAPacketAfterAWaitEnds) {
  LoopbackPeer peer(Transport::kTcp);
  connect(peer);
  Bytes first = dataPacket(14, 1);
  Bytes second = dataPacket(14, 30);
  peer.start([&](LoopbackPeer& p) {
    p.send(Bytes(first.begin(), first.begin() + 20));
    if (p.awaitRelease()) {
      Bytes rest(first.begin() + 20, first.end());
      rest.insert(rest.end(), second.begin(), second.end());
      p.send(rest);
    }
  });
  proto::setWaitsForTesting({3, 0}, {3, 0}, {0, 50000});
  Bytes buffer(30, 0);
  EXPECT_EQ(reader.read(socket, buffer.data(), 30), 0);
  peer.release();
  proto::setWaitsForTesting({3, 0}, {3, 0}, {3, 0});
  EXPECT_EQ(reader.read(socket, buffer.data(), 30), 30);
  EXPECT_EQ(buffer, first);
  EXPECT_EQ(read(30), second);  // aligned on the next header
}

}  // namespace
