#include "sim/simulator.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "common/byte_order.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "sim/packets.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
using platform::Ipv4Address;
using platform::kNoSocket;
using platform::SocketHandle;

// How long the worker sleeps when nothing is due; it bounds the reply
// latency. After a quiet spell it polls less often, so an idle simulator
// costs next to nothing and only the first reply after the spell is slower.
constexpr auto kBusyPollInterval = std::chrono::milliseconds(1);
constexpr auto kIdlePollInterval = std::chrono::milliseconds(10);
constexpr auto kQuietSpell = std::chrono::milliseconds(200);
// A caller waits this long for the worker to carry out its request.
constexpr auto kRequestLimit = std::chrono::seconds(3);
// A late worker catches up with at most this many packets, then skips ahead.
constexpr int kMaxCatchUpPackets = 10;
constexpr int kMaxReadsPerPoll = 64;

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

const char* transportName(Transport transport) {
  return transport == Transport::kTcp ? "TCP" : "UDP";
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

std::string endpoint(const Ipv4Address& address) {
  return platform::inetNtoa(address.addressNetwork) + ":" +
         std::to_string(platform::portOf(address));
}

std::string lastErrorText() {
  return platform::errnoText(platform::lastErrno());
}

}  // namespace

struct Simulator::State {
  // One piece of output: a reply, a data packet, or a connection reset.
  struct Outgoing {
    Transport transport = Transport::kTcp;
    Ipv4Address peer{};
    std::vector<uint8_t> bytes;
    size_t splitAt = 0;   // 0: in one piece
    int32_t pauseMs = 0;  // between the pieces
    bool dataPacket = false;
    bool reset = false;  // TCP: abort the connection instead of sending
  };
  struct Request {
    uint64_t id;
    enum class Kind { kEmit, kReset } kind;
    int count;
  };

  explicit State(Config c) : config(std::move(c)) {}

  Config config;
  std::vector<int> sensors;  // addresses that send records, ascending

  mutable std::mutex mutex;
  std::condition_variable wake;            // the worker waits on it
  mutable std::condition_variable events;  // observers wait on it
  std::thread worker;
  bool running = false;
  bool stopping = false;

  // Sockets belong to the worker; it changes them only under the mutex so
  // that stop() may shut a connection down from another thread.
  SocketHandle tcpListen = kNoSocket;
  SocketHandle tcpConn = kNoSocket;
  SocketHandle udp = kNoSocket;
  uint16_t tcpPortBound = 0;
  uint16_t udpPortBound = 0;
  std::vector<uint8_t> tcpInbox;

  // Index 0: the system block; index a: the block of unit address a.
  std::vector<std::vector<uint8_t>> blocks;

  bool streamOn = false;
  Transport streamTransport = Transport::kTcp;
  Ipv4Address streamPeer{};
  Clock::time_point nextDue{};
  uint64_t packetIndex = 0;
  uint64_t sent = 0;
  bool auxRecord = true;
  std::deque<std::vector<uint8_t>> wandQueue;

  std::map<uint8_t, std::deque<CommandFault>> commandFaults;
  std::deque<DataFault> dataFaults;
  bool udpSilent = false;
  // A WAKE_UP was answered with an error: the good reply follows the SHUT_DOWN reply.
  bool wakeRecoveryPending = false;

  std::deque<Request> requests;
  std::map<uint64_t, int> results;
  uint64_t nextRequestId = 0;

  std::vector<Received> log;
  std::map<uint8_t, int> codeCounts;
  std::vector<std::string> lines;  // log lines waiting to leave (outside the lock)

  void run();
  void flushLines();
  // Each returns whether it did anything.
  bool pollTcp();
  bool pollUdp();
  void handleCommand(Transport transport, const Ipv4Address& peer, std::vector<uint8_t> bytes);
  void buildReply(uint8_t code, uint8_t unit, const std::vector<uint8_t>& bytes,
                  std::vector<uint8_t>* reply, bool* applied, Transport transport,
                  const Ipv4Address& peer, std::vector<Outgoing>* extra);
  bool serveRequests();
  void sendDuePackets();
  bool buildPacket(Outgoing* out);  // under the lock; false when nothing leaves
  bool send(const Outgoing& out);
  bool sendAllTcp(const uint8_t* data, size_t length);
  void closeConnection(const char* why, bool abort);  // under the lock
  void enqueueWand(std::vector<uint8_t> bytes);       // under the lock
  void refillWandScript();                            // under the lock
};

void Simulator::State::enqueueWand(std::vector<uint8_t> bytes) {
  // A group longer than one aux record can carry goes out over several packets.
  for (size_t start = 0; start < bytes.size(); start += kMaxWandBytesPerPacket) {
    const size_t end = std::min(bytes.size(), start + kMaxWandBytesPerPacket);
    wandQueue.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                           bytes.begin() + static_cast<std::ptrdiff_t>(end));
  }
  if (bytes.empty()) wandQueue.emplace_back();
}

void Simulator::State::refillWandScript() {
  for (const std::vector<uint8_t>& group : config.wandScript) enqueueWand(group);
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

void Simulator::State::closeConnection(const char* why, bool abort) {
  if (tcpConn == kNoSocket) return;
  if (abort) {
    platform::abortSocket(tcpConn);
  } else {
    platform::closeSocket(tcpConn);
  }
  tcpConn = kNoSocket;
  tcpInbox.clear();
  lines.push_back(std::string("TCP connection ") + why);
  if (streamOn && streamTransport == Transport::kTcp) {
    streamOn = false;
    lines.push_back("data stream stopped");
  }
}

void Simulator::State::run() {
  Clock::time_point lastActivity = Clock::now();
  while (true) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (stopping) break;
    }
    bool active = pollTcp();
    active = pollUdp() || active;
    active = serveRequests() || active;
    sendDuePackets();
    flushLines();
    if (active) lastActivity = Clock::now();

    std::unique_lock<std::mutex> lock(mutex);
    auto wait = std::chrono::duration_cast<Clock::duration>(
        Clock::now() - lastActivity < kQuietSpell ? kBusyPollInterval : kIdlePollInterval);
    if (streamOn && config.rate > 0) {
      wait = std::min(wait, std::max(Clock::duration::zero(), nextDue - Clock::now()));
    }
    wake.wait_for(lock, wait, [this] { return stopping || !requests.empty(); });
  }
  flushLines();
}

bool Simulator::State::pollTcp() {
  bool active = false;
  if (tcpListen != kNoSocket && tcpConn == kNoSocket &&
      platform::waitReadable(tcpListen, 0, 0) > 0) {
    Ipv4Address peer{};
    SocketHandle accepted = platform::acceptSocket(tcpListen, &peer);
    if (accepted != kNoSocket) {
      active = true;
      // Every reply and data packet leaves when it is written, as the
      // device's own packets do, not batched behind an unacknowledged one.
      platform::setNoDelay(accepted);
      std::lock_guard<std::mutex> lock(mutex);
      tcpConn = accepted;
      tcpInbox.clear();
      lines.push_back("TCP connection from " + endpoint(peer));
    }
  }
  for (int reads = 0; reads < kMaxReadsPerPoll && tcpConn != kNoSocket; ++reads) {
    if (platform::waitReadable(tcpConn, 0, 0) <= 0) break;
    active = true;
    uint8_t buffer[4096];
    long got = platform::recvFrom(tcpConn, buffer, sizeof buffer, nullptr);
    if (got <= 0) {
      std::lock_guard<std::mutex> lock(mutex);
      closeConnection(got == 0 ? "closed by the peer" : "failed", false);
      break;
    }
    tcpInbox.insert(tcpInbox.end(), buffer, buffer + got);
    // A command is its header and the byte count it announces, however
    // the stream cut it into segments.
    while (tcpInbox.size() >= kHeaderSize) {
      const size_t length = kHeaderSize + readU16be(&tcpInbox[kCountOffset]);
      if (tcpInbox.size() < length) break;
      std::vector<uint8_t> packet(tcpInbox.begin(),
                                  tcpInbox.begin() + static_cast<std::ptrdiff_t>(length));
      tcpInbox.erase(tcpInbox.begin(), tcpInbox.begin() + static_cast<std::ptrdiff_t>(length));
      handleCommand(Transport::kTcp, Ipv4Address{}, std::move(packet));
      if (tcpConn == kNoSocket) break;
    }
  }
  return active;
}

bool Simulator::State::pollUdp() {
  bool active = false;
  for (int reads = 0; reads < kMaxReadsPerPoll && udp != kNoSocket; ++reads) {
    if (platform::waitReadable(udp, 0, 0) <= 0) break;
    active = true;
    uint8_t buffer[2048];
    Ipv4Address peer{};
    long got = platform::recvFrom(udp, buffer, sizeof buffer, &peer);
    if (got < 0) break;
    handleCommand(Transport::kUdp, peer,
                  std::vector<uint8_t>(buffer, buffer + static_cast<size_t>(got)));
  }
  return active;
}

void Simulator::State::handleCommand(Transport transport, const Ipv4Address& peer,
                                     std::vector<uint8_t> bytes) {
  std::vector<Outgoing> out;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const uint8_t code = bytes.size() > kTypeOffset ? bytes[kTypeOffset] : 0;
    const uint8_t unit = bytes.size() > kUnitOffset ? bytes[kUnitOffset] : 0;
    if (config.verbose) {
      lines.push_back(std::string("received ") + transportName(transport) + " " +
                      commandName(code) + " (" + std::to_string(bytes.size()) +
                      " bytes): " + hex(bytes));
    }
    log.push_back(Received{transport, code, unit, bytes});
    ++codeCounts[code];
    events.notify_all();

    if (bytes.size() < kHeaderSize) {
      lines.push_back("ignored a command of " + std::to_string(bytes.size()) + " bytes");
      return;
    }
    if (transport == Transport::kUdp && udpSilent) return;

    CommandFault fault{CommandFault::Kind::kErrorCode};
    bool faulty = false;
    auto queued = commandFaults.find(code);
    if (queued != commandFaults.end() && !queued->second.empty()) {
      fault = queued->second.front();
      queued->second.pop_front();
      faulty = true;
    }
    // A silent device acts as if it never heard the command.
    if (faulty && fault.kind == CommandFault::Kind::kSilence) return;

    Outgoing reply;
    reply.transport = transport;
    reply.peer = peer;
    if (faulty && fault.kind == CommandFault::Kind::kWrongTypes) {
      for (int i = 0; i < fault.count; ++i) {
        Outgoing wrong = reply;
        wrong.bytes = makeHeader(fault.wrongType, unit, 0, 0);
        out.push_back(std::move(wrong));
      }
    }
    uint8_t errorCode = 0;
    if (faulty && (fault.kind == CommandFault::Kind::kErrorCode ||
                   fault.kind == CommandFault::Kind::kWakeUpError)) {
      errorCode = fault.errorCode != 0 ? fault.errorCode : 1;
    }
    std::vector<Outgoing> after;
    bool applied = false;
    std::vector<uint8_t> replyBytes;
    buildReply(code, unit, bytes, &replyBytes, &applied, transport, peer, &after);
    if (replyBytes.empty()) {
      lines.push_back(std::string("no reply to ") + commandName(code) + " (code " +
                      std::to_string(code) + ")");
      return;
    }
    if (errorCode != 0) replyBytes[kErrorOffset] = errorCode;
    if (faulty && fault.kind == CommandFault::Kind::kWakeUpError && code == kWakeUp) {
      wakeRecoveryPending = true;
    }
    if (faulty && fault.kind == CommandFault::Kind::kShort) {
      replyBytes.resize(std::min(replyBytes.size(), fault.length));
    }
    if (faulty && fault.kind == CommandFault::Kind::kSplit && replyBytes.size() > 1) {
      reply.splitAt = std::min(std::max<size_t>(fault.splitAt, 1), replyBytes.size() - 1);
      reply.pauseMs = fault.pauseMs;
    }
    reply.bytes = std::move(replyBytes);
    out.push_back(std::move(reply));
    if (errorCode == 0) {
      out.insert(out.end(), after.begin(), after.end());
    } else if (!after.empty()) {
      wakeRecoveryPending = true;  // a failed SHUT_DOWN does not finish the WAKE_UP
    }

    // What the command does takes effect only with a good reply.
    if (errorCode == 0 && applied) {
      switch (code) {
        case kRunContinuous:
          streamOn = true;
          streamTransport = transport;
          streamPeer = peer;
          if (config.rate > 0) {
            nextDue = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(1.0 / config.rate));
          }
          lines.push_back(std::string("data stream started on ") + transportName(transport) +
                          (transport == Transport::kUdp ? " to " + endpoint(peer) : ""));
          break;
        case kStopData:
        case kShutDown:
          if (streamOn) lines.push_back("data stream stopped");
          streamOn = false;
          break;
        default:
          break;
      }
    }
  }
  for (const Outgoing& item : out) send(item);
}

void Simulator::State::buildReply(uint8_t code, uint8_t unit, const std::vector<uint8_t>& bytes,
                                  std::vector<uint8_t>* reply, bool* applied, Transport transport,
                                  const Ipv4Address& peer, std::vector<Outgoing>* extra) {
  const bool onBus = unit < blocks.size();
  *applied = true;
  switch (code) {
    case kWakeUp:
      *reply = makeHeader(kWakeUpReply, unit, 0, 0);
      break;
    case kShutDown:
      *reply = makeHeader(kShutDownReply, unit, 0, 0);
      if (wakeRecoveryPending) {
        // The system finishes the interrupted WAKE_UP on its own.
        wakeRecoveryPending = false;
        Outgoing late;
        late.transport = transport;
        late.peer = peer;
        late.bytes = makeHeader(kWakeUpReply, 0, 0, 0);
        extra->push_back(std::move(late));
      }
      break;
    case kGetStatus:
      if (!onBus) {
        *reply = makeHeader(kStatusReply, unit, kErrorNoSuchUnit, 0);
        *applied = false;
        break;
      }
      *reply = makeHeader(kStatusReply, unit, 0, static_cast<uint16_t>(blocks[unit].size()));
      reply->insert(reply->end(), blocks[unit].begin(), blocks[unit].end());
      break;
    case kSendSetup: {
      const size_t dataLength = bytes.size() - kHeaderSize;
      if (!onBus) {
        *reply = makeHeader(kSetupReply, unit, kErrorNoSuchUnit, 0);
        *applied = false;
      } else if (dataLength != blocks[unit].size()) {
        *reply = makeHeader(kSetupReply, unit, kErrorBadSetup, 0);
        *applied = false;
      } else {
        *reply = makeHeader(kSetupReply, unit, 0, 0);
        blocks[unit].assign(bytes.begin() + kHeaderSize, bytes.end());
      }
      break;
    }
    case kRunContinuous:
      *reply = makeHeader(kRunReply, unit, 0, 0);
      break;
    case kStopData:
      *reply = makeHeader(kStopReply, unit, 0, 0);
      break;
    default:
      reply->clear();
      *applied = false;
      break;
  }
}

bool Simulator::State::buildPacket(Outgoing* out) {
  const uint64_t index = packetIndex++;
  bool hasFault = false;
  DataFault fault{DataFault::Kind::kDrop};
  if (!dataFaults.empty()) {
    fault = dataFaults.front();
    dataFaults.pop_front();
    hasFault = true;
  }
  auto is = [&](DataFault::Kind kind) { return hasFault && fault.kind == kind; };

  const bool withAux = auxRecord && !is(DataFault::Kind::kNoAux);
  std::vector<uint8_t> wand;
  // Wand bytes wait for a packet that has room for them.
  if (withAux && config.wanda) {
    if (wandQueue.empty() && config.loopWandScript) refillWandScript();
    if (!wandQueue.empty()) {
      wand = std::move(wandQueue.front());
      wandQueue.pop_front();
    }
  }
  std::vector<uint8_t> aux;
  if (withAux) aux = makeAuxRecord(wand);
  if (is(DataFault::Kind::kGarbageAux) && !aux.empty()) {
    aux[1] = 0x0F;
    aux.back() = 0xFF;
  }
  const uint64_t poseIndex = is(DataFault::Kind::kRepeatPoses) && index > 0 ? index - 1 : index;
  std::vector<uint8_t> packet = makeDataPacket(poseIndex, sensors, aux);
  if (is(DataFault::Kind::kBadUnitAddress) && !sensors.empty()) {
    const size_t record =
        static_cast<size_t>(std::min<int>(std::max(fault.record, 0), int(sensors.size()) - 1));
    packet[kHeaderSize + kUnitRecordSize * record] = fault.unitAddress;
  }
  if (is(DataFault::Kind::kOversized)) {
    packet.insert(packet.end(), fault.length, 0xA5);
    writeU16be(&packet[kCountOffset],
               static_cast<uint16_t>(std::min<size_t>(packet.size() - kHeaderSize, 0xFFFF)));
  }
  if (is(DataFault::Kind::kShort)) packet.resize(std::min(packet.size(), fault.length));

  if (is(DataFault::Kind::kDrop)) return false;
  if (streamTransport == Transport::kUdp && udpSilent) return false;
  out->transport = streamTransport;
  out->peer = streamPeer;
  out->dataPacket = true;
  if (is(DataFault::Kind::kResetConnection)) {
    if (streamTransport == Transport::kUdp) return false;
    out->reset = true;
    streamOn = false;
    return true;
  }
  out->bytes = std::move(packet);
  return true;
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
      std::lock_guard<std::mutex> lock(mutex);
      closeConnection("reset", true);
    } else {
      for (int i = 0; i < request.count; ++i) {
        Outgoing packet;
        {
          std::lock_guard<std::mutex> lock(mutex);
          if (!streamOn) break;
          if (!buildPacket(&packet)) continue;
        }
        if (send(packet) && !packet.reset) ++sentNow;
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    results[request.id] = sentNow;
    events.notify_all();
  }
}

void Simulator::State::sendDuePackets() {
  std::vector<Outgoing> due;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!streamOn || config.rate <= 0) return;
    const Clock::time_point now = Clock::now();
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / config.rate));
    int count = 0;
    while (nextDue <= now && count < kMaxCatchUpPackets) {
      nextDue += period;
      ++count;
    }
    if (nextDue <= now) nextDue = now + period;  // too far behind: skip ahead
    for (int i = 0; i < count && streamOn; ++i) {
      Outgoing packet;
      if (buildPacket(&packet)) due.push_back(std::move(packet));
    }
  }
  for (const Outgoing& packet : due) send(packet);
}

bool Simulator::State::sendAllTcp(const uint8_t* data, size_t length) {
  while (length > 0) {
    if (tcpConn == kNoSocket) return false;
    long done = platform::sendTo(tcpConn, data, length, nullptr);
    if (done <= 0) {
      if (done < 0 && platform::isTransientErrno(platform::lastErrno())) continue;
      std::lock_guard<std::mutex> lock(mutex);
      lines.push_back("TCP send failed: " + lastErrorText());
      closeConnection("closed after a failed send", false);
      return false;
    }
    data += done;
    length -= static_cast<size_t>(done);
  }
  return true;
}

bool Simulator::State::send(const Outgoing& out) {
  if (out.reset) {
    std::lock_guard<std::mutex> lock(mutex);
    closeConnection("reset", true);
    return true;
  }
  const uint8_t* data = out.bytes.data();
  const size_t first = out.splitAt != 0 ? out.splitAt : out.bytes.size();
  bool ok;
  if (out.transport == Transport::kTcp) {
    ok = sendAllTcp(data, first);
    if (ok && first < out.bytes.size()) {
      platform::sleepMilliseconds(out.pauseMs);
      ok = sendAllTcp(data + first, out.bytes.size() - first);
    }
  } else {
    ok = platform::sendTo(udp, data, first, &out.peer) == static_cast<long>(first);
    if (ok && first < out.bytes.size()) {
      platform::sleepMilliseconds(out.pauseMs);
      const size_t rest = out.bytes.size() - first;
      ok = platform::sendTo(udp, data + first, rest, &out.peer) == static_cast<long>(rest);
    }
  }
  if (ok && out.dataPacket) {
    std::lock_guard<std::mutex> lock(mutex);
    ++sent;
  }
  return ok;
}

// ---- Simulator

Simulator::Simulator(Config config) : state_(new State(std::move(config))) {}

Simulator::~Simulator() {
  stop();
}

bool Simulator::start(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    State& s = *state_;
    for (SocketHandle* socket : {&s.tcpListen, &s.udp}) {
      if (*socket != kNoSocket) platform::closeSocket(*socket);
      *socket = kNoSocket;
    }
    s.tcpPortBound = 0;
    s.udpPortBound = 0;
    return false;
  };
  State& s = *state_;
  const Config& c = s.config;
  if (s.running) return fail("the simulator is already running");
  if (c.units < 1 || c.units > 126) return fail("units must lie in 1..126");
  if (c.ercAddress < 0 || c.ercAddress > c.units) return fail("the ERC address is not on the bus");
  if (c.measurementRate.size() != 6) return fail("the measurement rate must be six characters");
  if (!(c.rate >= 0) || std::isinf(c.rate)) return fail("the data rate must be 0 or more");
  if (c.deviceStatus.size() > static_cast<size_t>(c.units)) {
    return fail("more device status bytes than units");
  }
  if (!c.enableTcp && !c.enableUdp) return fail("neither TCP nor UDP is enabled");
  uint32_t address = 0;
  if (platform::resolveIpv4(c.address.c_str(), &address) != platform::Resolution::kOk) {
    return fail("cannot resolve the address " + c.address);
  }

  s.blocks.clear();
  s.blocks.push_back(makeSystemBlock(c));
  s.sensors.clear();
  for (int a = 1; a <= c.units; ++a) {
    const size_t i = static_cast<size_t>(a - 1);
    s.blocks.push_back(makeUnitBlock(i < c.unitSetups.size() ? c.unitSetups[i] : c.unitDefaults));
    if (a != c.ercAddress) s.sensors.push_back(a);
  }
  s.auxRecord = c.auxRecord;
  s.wandQueue.clear();
  s.refillWandScript();
  platform::socketLibraryStart();

  if (c.enableTcp) {
    s.tcpListen = platform::openSocket(platform::kStream);
    if (s.tcpListen == kNoSocket) return fail("cannot open a TCP socket: " + lastErrorText());
    platform::setReuseAddress(s.tcpListen);
    const Ipv4Address bindTo = platform::makeIpv4Address(address, c.tcpPort);
    if (platform::bindSocket(s.tcpListen, bindTo) != 0) {
      return fail("cannot bind TCP " + endpoint(bindTo) + ": " + lastErrorText());
    }
    if (platform::listenSocket(s.tcpListen, 4) != 0) {
      return fail("cannot listen on TCP " + endpoint(bindTo) + ": " + lastErrorText());
    }
    Ipv4Address bound{};
    platform::localAddress(s.tcpListen, &bound);
    s.tcpPortBound = platform::portOf(bound);
  }
  if (c.enableUdp) {
    s.udp = platform::openSocket(platform::kDatagram);
    if (s.udp == kNoSocket) return fail("cannot open a UDP socket: " + lastErrorText());
    const Ipv4Address bindTo = platform::makeIpv4Address(address, c.udpPort);
    if (platform::bindSocket(s.udp, bindTo) != 0) {
      return fail("cannot bind UDP " + endpoint(bindTo) + ": " + lastErrorText());
    }
    Ipv4Address bound{};
    platform::localAddress(s.udp, &bound);
    s.udpPortBound = platform::portOf(bound);
  }
  if (c.log) {
    if (c.enableTcp) c.log("listening on TCP " + c.address + ":" + std::to_string(s.tcpPortBound));
    if (c.enableUdp) c.log("listening on UDP " + c.address + ":" + std::to_string(s.udpPortBound));
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
    // A send blocked on a full connection returns once the connection is shut.
    if (s.tcpConn != kNoSocket) platform::shutdownSocket(s.tcpConn);
    s.wake.notify_all();
  }
  s.worker.join();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.closeConnection("closed", false);
  for (SocketHandle* socket : {&s.tcpListen, &s.udp}) {
    if (*socket != kNoSocket) platform::closeSocket(*socket);
    *socket = kNoSocket;
  }
  s.streamOn = false;
  s.running = false;
  s.tcpPortBound = 0;
  s.udpPortBound = 0;
  s.lines.clear();
  s.events.notify_all();
}

uint16_t Simulator::tcpPort() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->tcpPortBound;
}

uint16_t Simulator::udpPort() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->udpPortBound;
}

std::array<int16_t, 6> Simulator::unitWords(int unitAddress, uint64_t packetIndex) {
  // Each sensor runs a closed loop of 3600 packets (36 s at 100 Hz): a
  // circle in x-y, z and the angles on harmonics of the same phase, shifted
  // per unit. The largest step between packets is about 50 counts.
  constexpr uint64_t kPeriod = 3600;
  constexpr double kTwoPi = 6.283185307179586;
  const double phase = kTwoPi * static_cast<double>(packetIndex % kPeriod) / kPeriod;
  const double u = static_cast<double>(unitAddress);
  auto word = [](double value) { return static_cast<int16_t>(std::lround(value)); };
  return {{word(9000.0 * std::sin(phase + 0.9 * u)), word(9000.0 * std::cos(phase + 0.9 * u)),
           word(3000.0 * std::sin(2.0 * phase + 0.5 * u)),
           word(12000.0 * std::sin(phase + 1.3 * u)),
           word(6000.0 * std::sin(2.0 * phase + 0.7 * u)),
           word(9000.0 * std::cos(3.0 * phase + 0.4 * u))}};
}

std::vector<uint8_t> Simulator::wandPacket(int8_t motionX, int8_t motionY, bool firstButton,
                                           bool secondButton, int fourthButton) {
  const uint8_t x = static_cast<uint8_t>(motionX);
  const uint8_t y = static_cast<uint8_t>(motionY);
  std::vector<uint8_t> bytes{
      static_cast<uint8_t>(0x40 | (secondButton ? 0x20 : 0) | (firstButton ? 0x10 : 0) |
                           ((y >> 6) << 2) | (x >> 6)),
      static_cast<uint8_t>(x & 0x3F), static_cast<uint8_t>(y & 0x3F)};
  if (fourthButton == 0 || fourthButton == 1) {
    bytes.push_back(static_cast<uint8_t>(fourthButton == 1 ? 0x20 : 0x00));
  }
  return bytes;
}

int Simulator::emitPackets(int n) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (!s.running || !s.streamOn || n <= 0) return 0;
  const uint64_t id = ++s.nextRequestId;
  s.requests.push_back(State::Request{id, State::Request::Kind::kEmit, n});
  s.wake.notify_all();
  s.events.wait_for(lock, kRequestLimit, [&] { return s.results.count(id) != 0 || !s.running; });
  auto found = s.results.find(id);
  if (found == s.results.end()) return 0;
  const int result = found->second;
  s.results.erase(found);
  return result;
}

void Simulator::resetTcpConnection() {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  if (!s.running) return;
  const uint64_t id = ++s.nextRequestId;
  s.requests.push_back(State::Request{id, State::Request::Kind::kReset, 0});
  s.wake.notify_all();
  s.events.wait_for(lock, kRequestLimit, [&] { return s.results.count(id) != 0 || !s.running; });
  s.results.erase(id);
}

void Simulator::queueWandBytes(std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->enqueueWand(std::move(bytes));
}

void Simulator::setAuxRecord(bool on) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->auxRecord = on;
}

void Simulator::injectCommandFault(uint8_t commandCode, CommandFault fault) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->commandFaults[commandCode].push_back(fault);
}

void Simulator::injectDataFault(DataFault fault) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->dataFaults.push_back(fault);
}

void Simulator::setUdpSilent(bool silent) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->udpSilent = silent;
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
  return state_->packetIndex;
}

bool Simulator::streaming() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->streamOn;
}

std::vector<uint8_t> Simulator::statusBlock(int unitAddress) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (unitAddress < 0 || static_cast<size_t>(unitAddress) >= state_->blocks.size()) return {};
  return state_->blocks[static_cast<size_t>(unitAddress)];
}

}  // namespace sim
