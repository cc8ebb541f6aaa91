// What recording costs the simulator per data packet: the packet's frame
// built (Ethernet, IPv4, TCP with checksums) and written to the capture file
// at once, beside a baseline of making the same packet (eight sensors, the
// aux record), measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "sim/capture_recorder.h"
#include "sim/device_model.h"
#include "sim/stream.h"

namespace {

platform::Ipv4Address loopback(uint8_t last, uint16_t port) {
  const uint8_t bytes[4] = {127, 0, 0, last};
  uint32_t network;
  std::memcpy(&network, bytes, sizeof network);
  return platform::makeIpv4Address(network, port);
}

sim::Config eightSensors() {
  sim::Config config;
  config.units = 9;
  config.seed = 1;
  return config;
}

void makeDataPacket(benchmark::State& state) {
  const sim::Config config = eightSensors();
  sim::DeviceModel device(config);
  sim::DataStream stream(config, &device);
  stream.restart(device.sensors());
  for (auto _ : state) benchmark::DoNotOptimize(stream.nextPacket(nullptr));
  state.SetItemsProcessed(state.iterations());
}

void makeAndRecordDataPacket(benchmark::State& state) {
  const sim::Config config = eightSensors();
  sim::DeviceModel device(config);
  sim::DataStream stream(config, &device);
  stream.restart(device.sensors());
  const std::string path = "capture_bench.pcap";
  sim::CaptureRecorder recorder;
  std::string error;
  if (!recorder.open(path, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  sim::Flow flow;
  flow.transport = sim::Transport::kTcp;
  flow.device = loopback(11, 6000);
  flow.client = loopback(1, 40000);
  recorder.connected(flow);
  for (auto _ : state) {
    const std::vector<uint8_t> packet = stream.nextPacket(nullptr);
    recorder.carried(flow, true, packet.data(), packet.size());
  }
  recorder.close();
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(makeDataPacket);
BENCHMARK(makeAndRecordDataPacket);

}  // namespace

BENCHMARK_MAIN();
