// The simulator's worker: it polls the sockets, answers each command from
// the device model with the faults applied, carries the command out, and
// sends the stream's packets when they fall due or a caller asks for them.
#include <cstdio>

#include "sim/packets.h"
#include "sim/simulator_state.h"

namespace sim {
namespace {

// How long the worker sleeps when nothing is due; it bounds the reply
// latency. After a quiet spell it polls less often, so an idle simulator
// costs next to nothing and only the first reply after the spell is slower.
constexpr auto kBusyPollInterval = std::chrono::milliseconds(1);
constexpr auto kIdlePollInterval = std::chrono::milliseconds(10);
constexpr auto kQuietSpell = std::chrono::milliseconds(200);

const char* commandName(uint8_t code) {
  switch (code) {
    case kWakeUp:
      return "WAKE_UP";
    case kShutDown:
      return "SHUT_DOWN";
    case kGetStatus:
      return "GET_STATUS";
    case kSendSetup:
      return "SEND_SETUP";
    case kRunContinuous:
      return "RUN_CONTINUOUS";
    case kStopData:
      return "STOP_DATA";
    default:
      return "unknown command";
  }
}

std::string millisecondsSince(std::chrono::steady_clock::time_point then) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - then);
  return std::to_string(elapsed.count()) + " ms";
}

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  char digits[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += digits;
  }
  return text;
}

}  // namespace

void Simulator::State::run() {
  Clock::time_point lastActivity = Clock::now();
  while (true) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (stopping) break;
    }
    applyOutages();
    bool cutOff;
    {
      std::lock_guard<std::mutex> lock(mutex);
      cutOff = outages.cutOff();
    }
    // Cut off, nothing is heard: datagrams are lost, and a TCP peer's bytes
    // wait in the connection as its retransmissions would.
    bool active = cutOff ? sockets.drainUdp() : sockets.poll();
    active = serveRequests() || active;
    sendDuePackets();
    flushLines();
    if (active) lastActivity = Clock::now();

    std::unique_lock<std::mutex> lock(mutex);
    const Clock::time_point now = Clock::now();
    const auto poll = std::chrono::duration_cast<Clock::duration>(
        now - lastActivity < kQuietSpell ? kBusyPollInterval : kIdlePollInterval);
    wake.wait_for(lock, outages.untilChange(now, stream.untilDue(now, poll)),
                  [this] { return stopping || !requests.empty(); });
  }
  flushLines();
}

void Simulator::State::onCommand(const Peer& from, std::vector<uint8_t> bytes) {
  std::vector<Outgoing> out;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const uint8_t code = bytes.size() > kTypeOffset ? bytes[kTypeOffset] : 0;
    const uint8_t unit = bytes.size() > kUnitOffset ? bytes[kUnitOffset] : 0;
    if (config.verbose) {
      lines.push_back(std::string("received ") + transportName(from.transport) + " " +
                      commandName(code) + " (" + std::to_string(bytes.size()) +
                      " bytes): " + hex(bytes));
    }
    log.push_back(Received{from.transport, code, unit, bytes});
    ++codeCounts[code];
    events.notify_all();

    if (bytes.size() < kHeaderSize) {
      lines.push_back("ignored a command of " + std::to_string(bytes.size()) + " bytes");
      return;
    }
    if (from.transport == Transport::kUdp && faults.udpSilent()) return;
    answer(from, bytes, &out);
  }
  for (const Outgoing& item : out) send(item);
}

void Simulator::State::answer(const Peer& from, const std::vector<uint8_t>& command,
                              std::vector<Outgoing>* out) {
  const uint8_t code = command[kTypeOffset];
  if (!device.answers(code)) {
    lines.push_back(std::string("no reply to ") + commandName(code) + ": asleep until WAKE_UP");
    return;
  }
  const std::optional<CommandFault> fault = faults.takeCommandFault(code);
  // A silent device acts as if it never heard the command.
  if (fault && fault->kind == CommandFault::Kind::kSilence) return;
  std::vector<uint8_t> reply = device.reply(command);
  if (reply.empty()) {
    lines.push_back(std::string("no reply to ") + commandName(code) + " (code " +
                    std::to_string(code) + ")");
    return;
  }
  // A WAKE_UP wakes the system whatever its reply says.
  if (code == kWakeUp) device.wake();
  // What a command does takes effect only with a good reply.
  if (!faults.answer(fault ? &*fault : nullptr, code, from, std::move(reply), out)) return;
  device.carryOut(command);
  if (code == kRunContinuous) {
    stream.start(from, Clock::now());
    lines.push_back(std::string("data stream started on ") + transportName(from.transport) +
                    (from.transport == Transport::kUdp ? " to " + endpointText(from.address) : ""));
  } else if ((code == kStopData || code == kShutDown) && stream.stop()) {
    lines.push_back("data stream stopped");
  }
  if (faults.takeFinishedWakeUp(code)) {
    // The system finishes the interrupted WAKE_UP on its own.
    out->push_back(Outgoing{from, makeHeader(kWakeUpReply, 0, 0, 0)});
  }
}

void Simulator::State::onEvent(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex);
  lines.push_back(line);
}

void Simulator::State::onConnectionClosed() {
  std::lock_guard<std::mutex> lock(mutex);
  if (stream.on() && stream.peer().transport == Transport::kTcp) {
    stream.stop();
    lines.push_back("data stream stopped");
  }
}

std::optional<Outgoing> Simulator::State::nextDataPacket() {
  const std::optional<DataFault> fault = faults.takeDataFault();
  auto is = [&](DataFault::Kind kind) { return fault && fault->kind == kind; };
  Outgoing out{stream.peer(), stream.nextPacket(fault ? &*fault : nullptr)};
  out.dataPacket = true;
  if (fault) damagePacket(*fault, stream.recordCount(), &out.bytes);

  if (is(DataFault::Kind::kDrop) || outages.cutOff()) return std::nullopt;
  if (out.to.transport == Transport::kUdp && faults.udpSilent()) return std::nullopt;
  if (is(DataFault::Kind::kResetConnection)) {
    if (out.to.transport == Transport::kUdp) return std::nullopt;
    out.reset = true;
    stream.stop();
  }
  return out;
}

bool Simulator::State::serveRequests() {
  for (bool served = false;; served = true) {
    Request request{};
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (requests.empty()) return served;
      request = requests.front();
      requests.pop_front();
    }
    int sentNow = 0;
    if (request.kind == Request::Kind::kReset) {
      sockets.resetConnection();
    } else if (request.kind == Request::Kind::kPowerCycle ||
               request.kind == Request::Kind::kNetworkDown) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (request.kind == Request::Kind::kPowerCycle) {
          outages.powerCycle(Clock::now(), request.length);
        } else {
          outages.networkDown(Clock::now(), request.length);
        }
      }
      applyOutages();
    } else {
      for (int i = 0; i < request.count; ++i) {
        std::optional<Outgoing> packet;
        {
          std::lock_guard<std::mutex> lock(mutex);
          if (!stream.on()) break;
          packet = nextDataPacket();
        }
        if (packet && send(*packet)) ++sentNow;
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    results[request.id] = sentNow;
    events.notify_all();
  }
}

void Simulator::State::applyOutages() {
  Outages::Changes changes;
  {
    std::lock_guard<std::mutex> lock(mutex);
    changes = outages.advance(Clock::now());
    if (changes.networkDown) {
      networkLost = Clock::now();
      lines.push_back("network down: every packet is lost");
    }
  }
  if (changes.powerOff) powerOff();
  if (changes.powerOn) powerOn();
  std::lock_guard<std::mutex> lock(mutex);
  if (changes.networkUp) lines.push_back("network up after " + millisecondsSince(networkLost));
  if (changes.powerOff || changes.powerOn || changes.networkDown || changes.networkUp) {
    events.notify_all();
  }
}

void Simulator::State::powerOff() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    poweredOff = Clock::now();
    if (stream.stop()) lines.push_back("data stream stopped");
    lines.push_back("power off");
  }
  sockets.suspendTcp();
}

void Simulator::State::powerOn() {
  std::string error;
  const bool tcp = sockets.resumeTcp(&error);
  std::lock_guard<std::mutex> lock(mutex);
  // The power-on state: the blocks as configured, no stream, and no
  // answer before a WAKE_UP. Injected faults stay queued.
  device = DeviceModel(config);
  device.sleep();
  stream.stop();
  stream.restart(device.sensors());
  lines.push_back("power on after " + millisecondsSince(poweredOff) + ", asleep until WAKE_UP");
  if (!tcp) lines.push_back("TCP stays closed: " + error);
}

void Simulator::State::sendDuePackets() {
  std::vector<Outgoing> due;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const int count = stream.takeDue(Clock::now());
    for (int i = 0; i < count && stream.on(); ++i) {
      if (std::optional<Outgoing> packet = nextDataPacket()) due.push_back(std::move(*packet));
    }
  }
  for (const Outgoing& packet : due) send(packet);
}

bool Simulator::State::send(const Outgoing& out) {
  const bool ok = sockets.send(out);
  if (ok && out.dataPacket) {
    std::lock_guard<std::mutex> lock(mutex);
    ++sent;
  }
  return ok;
}

void Simulator::State::flushLines() {
  std::vector<std::string> pending;
  {
    std::lock_guard<std::mutex> lock(mutex);
    pending.swap(lines);
  }
  if (config.log) {
    for (const std::string& line : pending) config.log(line);
  }
}

}  // namespace sim
