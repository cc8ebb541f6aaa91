// recvData with 32 trackers fed over loopback UDP by a sender thread, beside
// a baseline loop that only receives the same datagrams into a buffer.
// The sender stays at most a few packets ahead, so no datagram is dropped
// and neither loop waits for one.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_order.h"
#include "driver/motionstar.h"
#include "host/config_file.h"
#include "host/host_entry.h"
#include "host/storages.h"
#include "platform/process.h"
#include "platform/socket.h"

namespace {

constexpr int kTrackers = 32;
constexpr size_t kPacketBytes = 16 + 14 * kTrackers + 8;
constexpr int kDistinctPackets = 64;
constexpr int64_t kAhead = 8;

uint32_t loopback() {
  return platform::inetAddr("127.0.0.1");
}

// A bound UDP socket on loopback; its port is read back.
platform::SocketHandle boundSocket(uint16_t* port) {
  platform::SocketHandle s = platform::openSocket(platform::kDatagram);
  platform::bindSocket(s, platform::makeIpv4Address(loopback(), 0));
  platform::Ipv4Address address{};
  platform::localAddress(s, &address);
  *port = platform::portOf(address);
  return s;
}

// Data packets of 32 unit records (addresses 2..33) whose poses differ from
// packet to packet, so every record is published.
std::vector<std::vector<uint8_t>> makePackets() {
  std::vector<std::vector<uint8_t>> packets;
  for (int p = 0; p < kDistinctPackets; ++p) {
    std::vector<uint8_t> packet(kPacketBytes, 0);
    packet[8] = 210;
    writeU16be(&packet[14], static_cast<uint16_t>(kPacketBytes - 16));
    for (int t = 0; t < kTrackers; ++t) {
      uint8_t* record = &packet[16 + 14 * t];
      record[0] = static_cast<uint8_t>(t + 2);
      for (int w = 0; w < 6; ++w)
        writeU16be(record + 2 + 2 * w, static_cast<uint16_t>(p * 97 + t * 31 + w * 1000));
    }
    packets.push_back(packet);
  }
  return packets;
}

// Sends the packets round and round to `port`, at most kAhead ahead of
// what the reader has taken.
class Sender {
 public:
  Sender(uint16_t port, std::atomic<int64_t>& taken) : taken_(taken) {
    uint16_t unused = 0;
    socket_ = boundSocket(&unused);
    const platform::Ipv4Address to = platform::makeIpv4Address(loopback(), port);
    thread_ = std::thread([this, to] {
      const auto packets = makePackets();
      int64_t sent = 0;
      while (!stop_) {
        if (sent - taken_.load() >= kAhead) {
          std::this_thread::yield();
          continue;
        }
        const auto& packet = packets[sent % kDistinctPackets];
        platform::sendTo(socket_, packet.data(), packet.size(), &to);
        ++sent;
      }
    });
  }
  ~Sender() {
    stop_ = true;
    thread_.join();
    platform::closeSocket(socket_);
  }

 private:
  std::atomic<int64_t>& taken_;
  std::atomic<bool> stop_{false};
  platform::SocketHandle socket_;
  std::thread thread_;
};

void receiveOnlyBaseline(benchmark::State& state) {
  uint16_t port = 0;
  platform::SocketHandle socket = boundSocket(&port);
  std::atomic<int64_t> taken{0};
  Sender sender(port, taken);
  uint8_t buffer[kPacketBytes + 8];
  for (auto _ : state) {
    platform::Ipv4Address from{};
    benchmark::DoNotOptimize(platform::recvFrom(socket, buffer, sizeof buffer, &from));
    ++taken;
  }
  platform::closeSocket(socket);
  state.SetItemsProcessed(state.iterations());
}

void recvDataRun(benchmark::State& state, const std::string& transforms) {
  // Pick a free local port for the device, then free it for the device to bind.
  uint16_t port = 0;
  platform::closeSocket(boundSocket(&port));
  ConfigFile config;
  std::string error;
  parseConfigText("device bench motionstar 32\nmotionstaraddress 127.0.0.1\nprotocol udp\nport " +
                      std::to_string(port) + "\n" + transforms,
                  "bench.conf", &config, &error);
  HostEntry entry(config.devices.at(0));
  CLogH log{};  // disabled: the report and DEBUG lines stay out of the figures
  log.debugThreshold = 1;
  HostStorages storages(log);
  CMotionStar device(entry.entry(), &log);
  InitInfo info = storages.initInfo();
  if (device.init(&info) != 1) {
    state.SkipWithError("init failed");
    return;
  }
  std::atomic<int64_t> taken{0};
  Sender sender(port, taken);
  UpdatedMasks masks{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(device.recvData(&masks, nullptr));
    ++taken;
  }
  state.SetItemsProcessed(state.iterations());
}

void recvDataPlain(benchmark::State& state) {
  recvDataRun(state, "");
}

void recvDataWithTransforms(benchmark::State& state) {
  // 32 options at most: the transmitter's two and a sensor rotation on 30
  // trackers; the transmitter's make every tracker run the transform step.
  std::string options = "transmitterrotation 0 0 1 30\ntransmitteroffset 1 2 3\n";
  for (int id = 1; id <= 30; ++id)
    options += "sensorrotation " + std::to_string(id) + " 1 0 0 15\n";
  recvDataRun(state, options);
}

BENCHMARK(receiveOnlyBaseline)->UseRealTime();
BENCHMARK(recvDataPlain)->UseRealTime();
BENCHMARK(recvDataWithTransforms)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
