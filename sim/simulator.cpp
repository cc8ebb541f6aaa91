// The simulator's public functions: starting and stopping the worker, and
// reading or changing the shared state under its lock.
#include "sim/simulator.h"

#include <algorithm>
#include <cmath>

#include "sim/fault_text.h"
#include "sim/simulator_state.h"
#include "sim/trajectory.h"
#include "sim/wand.h"

namespace sim {
namespace {

// A caller waits this long for the worker to carry out its request.
constexpr auto kRequestLimit = std::chrono::seconds(3);
// Ten times the default room is already far beyond any real one.
constexpr double kMaxStrength = 10.0;

// Why the simulator cannot play `c`; empty when it can.
std::string configProblem(const Config& c) {
  if (c.units < 1 || c.units > 126) return "units must lie in 1..126";
  if (c.ercAddress < 0 || c.ercAddress > c.units) return "the ERC address is not on the bus";
  if (c.measurementRate.size() != 6) return "the measurement rate must be six characters";
  if (!(c.rate >= 0) || std::isinf(c.rate)) return "the data rate must be 0 or more";
  if (c.deviceStatus.size() > static_cast<size_t>(c.units)) {
    return "more device status bytes than units";
  }
  if (!c.enableTcp && !c.enableUdp) return "neither TCP nor UDP is enabled";
  if (c.replay && !(c.replaySpeed > 0 && c.replaySpeed <= 1000)) {
    return "the replay speed must lie above 0 and at most 1000";
  }
  if (c.distortion.on && !(c.distortion.strength >= 0 && c.distortion.strength <= kMaxStrength)) {
    return "the distortion's strength must lie in 0..10";
  }
  for (const RepeatingFault* fault : {&c.powerCycles, &c.networkOutages}) {
    // A period of 0 turns the fault off.
    const std::string problem = fault->every.count() != 0 ? repeatingFaultProblem(*fault) : "";
    if (!problem.empty()) return "repeating fault: " + problem;
  }
  return "";
}

}  // namespace

int Simulator::State::handOver(std::unique_lock<std::mutex>& lock, Request request) {
  const uint64_t id = request.id = ++nextRequestId;
  requests.push_back(request);
  wake.notify_all();
  events.wait_for(lock, kRequestLimit, [&] { return results.count(id) != 0 || !running; });
  auto found = results.find(id);
  if (found == results.end()) return 0;
  const int result = found->second;
  results.erase(found);
  return result;
}

Simulator::Simulator(Config config) : state_(new State(std::move(config))) {}

Simulator::~Simulator() {
  stop();
}

bool Simulator::start(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  State& s = *state_;
  const Config& c = s.config;
  if (s.running) return fail("the simulator is already running");
  const std::string problem = configProblem(c);
  if (!problem.empty()) return fail(problem);
  uint32_t address = 0;
  if (platform::resolveIpv4(c.address.c_str(), &address) != platform::Resolution::kOk) {
    return fail("cannot resolve the address " + c.address);
  }
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.device = DeviceModel(c);
    s.stream.restart(s.device.sensors());
    s.outages = Outages();
    s.outages.repeat(c.powerCycles, c.networkOutages, State::Clock::now());
  }
  std::string why;
  if (!s.prepareCapture(&why)) return fail(why);
  if (!s.sockets.open(c, address, &why)) {
    s.sockets.setTap(nullptr);
    s.recorder.reset();
    return fail(why);
  }
  if (c.log) {
    if (c.enableTcp) c.log("listening on TCP " + c.address + ":" + std::to_string(tcpPort()));
    if (c.enableUdp) c.log("listening on UDP " + c.address + ":" + std::to_string(udpPort()));
  }
  s.stopping = false;
  s.running = true;
  s.worker = std::thread([&s] { s.run(); });
  return true;
}

void Simulator::stop() {
  State& s = *state_;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.running) return;
    s.stopping = true;
    s.wake.notify_all();
  }
  // A send blocked on a full connection returns once the connection is shut.
  s.sockets.interrupt();
  s.worker.join();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.sockets.close();
  s.sockets.setTap(nullptr);
  if (s.recorder) s.recorder->close();
  s.source->stop();
  s.running = false;
  s.lines.clear();
  s.events.notify_all();
}

uint16_t Simulator::tcpPort() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->sockets.tcpPort();
}

uint16_t Simulator::udpPort() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->sockets.udpPort();
}

std::array<int16_t, 6> Simulator::unitWords(int unitAddress, uint64_t packetIndex) {
  return loopWords(unitAddress, packetIndex);
}

std::array<int16_t, 6> Simulator::unitWords(uint64_t seed, int unitAddress, uint64_t packetIndex) {
  return trajectoryWords(seed, unitAddress, packetIndex);
}

std::vector<std::vector<uint8_t>> Simulator::wandScript(uint64_t seed) {
  return sim::wandScript(seed);
}

std::vector<uint8_t> Simulator::wandPacket(int8_t motionX, int8_t motionY, bool firstButton,
                                           bool secondButton, int fourthButton) {
  return sim::wandPacket(motionX, motionY, firstButton, secondButton, fourthButton);
}

int Simulator::emitPackets(int n) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (!s.running || !s.source->on() || n <= 0) return 0;
  return s.handOver(lock, {0, State::Request::Kind::kEmit, n, {}});
}

void Simulator::resetTcpConnection() {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (s.running) s.handOver(lock, {0, State::Request::Kind::kReset, 0, {}});
}

void Simulator::powerCycle(std::chrono::milliseconds silent) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (s.running) s.handOver(lock, {0, State::Request::Kind::kPowerCycle, 0, silent});
}

void Simulator::networkDown(std::chrono::milliseconds length) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (s.running) s.handOver(lock, {0, State::Request::Kind::kNetworkDown, 0, length});
}

bool Simulator::waitUntilReachable(std::chrono::milliseconds limit) const {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  return s.events.wait_for(lock, limit, [&] { return !s.running || !s.outages.cutOff(); }) &&
         s.running;
}

void Simulator::queueWandBytes(std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->stream.queueWandBytes(bytes);
}

void Simulator::setAuxRecord(bool on) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->stream.setAuxRecord(on);
}

bool Simulator::placeSensor(int unitAddress, const Pose& truePose, uint64_t* firstPacket,
                            std::string* error) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const std::vector<int>& sensors = state_->device.sensors();
  if (std::find(sensors.begin(), sensors.end(), unitAddress) == sensors.end()) {
    *error = "unit " + std::to_string(unitAddress) + " is no sensor on the bus";
    return false;
  }
  const std::string problem =
      placementProblem(truePose, wordFrame(state_->device.statusBlock(unitAddress)));
  if (!problem.empty()) {
    *error = "cannot place unit " + std::to_string(unitAddress) + ": " + problem;
    return false;
  }
  state_->stream.place(unitAddress, truePose);
  if (firstPacket != nullptr) *firstPacket = state_->stream.nextIndex();
  return true;
}

void Simulator::releaseSensor(int unitAddress) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->stream.release(unitAddress);
}

void Simulator::injectCommandFault(uint8_t commandCode, CommandFault fault) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->faults.addCommandFault(commandCode, fault);
}

void Simulator::injectDataFault(DataFault fault) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->faults.addDataFault(fault);
}

void Simulator::setUdpSilent(bool silent) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->faults.setUdpSilent(silent);
}

std::vector<Received> Simulator::received() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->log;
}

bool Simulator::waitForCommand(uint8_t code, int count, std::chrono::milliseconds limit) const {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  return s.events.wait_for(lock, limit, [&] {
    auto found = s.codeCounts.find(code);
    return (found != s.codeCounts.end() ? found->second : 0) >= count;
  });
}

uint64_t Simulator::packetsSent() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->sent;
}

uint64_t Simulator::nextPacketIndex() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->source->nextIndex();
}

bool Simulator::streaming() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->source->on();
}

bool Simulator::replayFinished() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->replayStream && state_->replayStream->finished();
}

std::vector<uint8_t> Simulator::statusBlock(int unitAddress) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->replayDevice) return state_->replayDevice->statusBlock(unitAddress);
  return state_->device.statusBlock(unitAddress);
}

}  // namespace sim
