#include "capture/replay_rig.h"

#include <gtest/gtest.h>

#include <sstream>

#include "e2e/harness.h"
#include "host/output.h"
#include "sim/capture_reader.h"
#include "sim/replay_script.h"
#include "support/plain_log.h"

namespace capturetest {
namespace {

std::string deviceText(const std::string& address, sim::Transport transport) {
  return "device d motionstar 2\nmotionstaraddress " + address + "\nprotocol " +
         (transport == sim::Transport::kTcp ? "tcp\n" : "udp\nport 0\n") + "wanda 1\n";
}

// A published record's values, as the host reads them, without its times.
std::string valuesOf(const Publication& p) {
  std::ostringstream text;
  text << (p.kind == Publication::kTracker ? "tracker " : "controller ") << p.id << ":";
  if (p.kind == Publication::kTracker) {
    for (double value : p.pose) text << " " << value;
  } else {
    for (double value : p.valuators) text << " " << value;
    text << " buttons";
    for (int button : p.buttons) text << " " << button;
  }
  return text.str();
}

PacketRecords recordsOf(HostStorages& storages, const UpdatedMasks& masks) {
  PacketRecords records;
  for (uint32_t id = 1; id <= 32; ++id) {
    if (e2e::maskWord(masks.tracker) & (1u << (id - 1))) {
      records.push_back(valuesOf(decodeTracker("d", storages.tracker(id))));
    }
  }
  for (uint32_t id = 1; id <= 32; ++id) {
    if (e2e::maskWord(masks.controller) & (1u << (id - 1))) {
      records.push_back(valuesOf(decodeController("d", storages.controller(id))));
    }
  }
  return records;
}

// The driver's messages would fill the test's output.
CLogH quietLog() {
  CLogH log = plainLog("capture");
  log.enabled = 0;
  return log;
}

bool bringUp(e2e::Device& device) {
  if (device.init() != 1 || device->configure() <= 0 || !device->start()) {
    ADD_FAILURE() << "the device did not come up";
    return false;
  }
  return true;
}

sim::Config onTransport(sim::Transport transport) {
  sim::Config config;
  config.enableTcp = transport == sim::Transport::kTcp;
  config.enableUdp = !config.enableTcp;
  return config;
}

}  // namespace

std::string scratchPath(const std::string& name) {
  return std::string(SCRATCH_DIR) + "/" + name;
}

std::string replaySkipReason() {
  if (!sim::captureFilesSupported()) {
    return "this build has no libpcap, so no capture replay or recording (Debian: libpcap-dev)";
  }
  return e2e::fixedPortsTaken();
}

LiveWand liveWand(int i) {
  return {static_cast<int8_t>(i % 21 - 10), static_cast<int8_t>(10 - i % 17), i % 3 == 0,
          i % 5 == 0, i % 2};
}

std::vector<uint8_t> liveWandBytes(int i) {
  const LiveWand wand = liveWand(i);
  return sim::Simulator::wandPacket(wand.motionX, wand.motionY, wand.firstButton, wand.secondButton,
                                    wand.fourthButton);
}

std::vector<PacketRecords> runLive(sim::Transport transport, const std::string& path,
                                   const LiveOptions& options, uint64_t* firstIndex) {
  sim::Config config = onTransport(transport);
  config.units = 3;
  config.wanda = true;
  config.unitDefaults.scaling = options.scaling;
  config.recordPath = path;
  std::string address;
  std::unique_ptr<sim::Simulator> simulator = e2e::startSimulator(config, &address);
  if (!simulator) return {};
  if (options.wakeUpError != 0) {
    sim::CommandFault fault{sim::CommandFault::Kind::kWakeUpError};
    fault.errorCode = options.wakeUpError;
    simulator->injectCommandFault(sim::kWakeUp, fault);
  }
  CLogH log = quietLog();
  HostStorages storages(log);
  e2e::Device device(deviceText(address, transport), storages, &log);
  std::vector<PacketRecords> published;
  if (!bringUp(device)) return published;
  if (firstIndex != nullptr) *firstIndex = simulator->nextPacketIndex();
  for (int i = 0; i < kLivePackets; ++i) {
    simulator->queueWandBytes(liveWandBytes(i));
    if (simulator->emitPackets(1) != 1) {
      ADD_FAILURE() << "data packet " << i << " did not leave";
      break;
    }
    UpdatedMasks masks;
    EXPECT_EQ(device.receive(&masks), 1);
    published.push_back(recordsOf(storages, masks));
  }
  EXPECT_TRUE(device->stop());
  simulator->stop();  // the recording is complete
  return published;
}

std::vector<PacketRecords> runReplay(const std::string& path, sim::Transport transport,
                                     int packets) {
  std::vector<PacketRecords> published;
  std::shared_ptr<const sim::ReplayScript> script;
  std::string error;
  if (!sim::loadReplayScript(path, &script, &error)) {
    ADD_FAILURE() << error;
    return published;
  }
  sim::Config config = onTransport(transport);
  config.replay = script;
  config.replaySpeed = 4;
  std::string address;
  std::unique_ptr<sim::Simulator> simulator = e2e::startSimulator(config, &address);
  if (!simulator) return published;
  CLogH log = quietLog();
  HostStorages storages(log);
  e2e::Device device(deviceText(address, transport), storages, &log);
  if (!bringUp(device)) return published;
  // A read that waited in vain publishes nothing, as does a repeated packet:
  // neither counts.
  for (int reads = 0; reads < packets + 10 && published.size() < static_cast<size_t>(packets);
       ++reads) {
    UpdatedMasks masks;
    EXPECT_EQ(device.receive(&masks), 1);
    PacketRecords records = recordsOf(storages, masks);
    if (!records.empty()) published.push_back(std::move(records));
  }
  EXPECT_TRUE(device->stop());
  return published;
}

}  // namespace capturetest
