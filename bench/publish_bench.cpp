// Publishing to render nodes, measured: one device of 32 trackers read from
// mstar-sim at 1000 packets per second, its records published as mstar-host
// publishes them, subscribers on loopback TCP.
//
// - Latency from the moment recvData returns to the moment a subscriber has
//   the decoded record, median and 99th percentile, with 1 and 8
//   subscribers, beside a bare ZeroMQ PUB/SUB round of the same message
//   size and pattern (32 messages a millisecond) in the same run.
// - Records lost by subscribers that keep up; with one stalled subscriber,
//   what the others lose and whether the device's reading rate drops.
// - The time a joining subscriber takes to have the state of every topic.
// - CPU time of the host per published record with publishing off and on
//   (the subscriber then runs as a process of its own).
//
//   publish_bench [--seconds N]     (each phase; default 5)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>
#include <zmq.hpp>

#include "host/config_file.h"
#include "host/host_entry.h"
#include "host/module_loader.h"
#include "host/output.h"
#include "host/publisher.h"
#include "host/storages.h"
#include "platform/child_process.h"
#include "platform/process.h"

namespace {

namespace stream = motionstar::stream;

constexpr int kTrackers = 32;
constexpr uint32_t kWarmUpPackets = 500;  // left out of the latency figures
const char kSimAddress[] = "127.0.0.1";

int64_t nowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// When each (tracker, sequence number) left recvData: written by the
// reading thread before the record is published, read by the subscribers.
class SendTimes {
 public:
  explicit SendTimes(uint32_t packets) : packets_(packets), times_((kTrackers + 1) * packets) {}
  void set(uint32_t id, uint32_t sequence, int64_t at) {
    if (sequence < packets_) times_[id * packets_ + sequence].store(at, std::memory_order_relaxed);
  }
  int64_t get(uint32_t id, uint32_t sequence) const {
    return sequence < packets_ ? times_[id * packets_ + sequence].load(std::memory_order_relaxed)
                               : 0;
  }

 private:
  uint32_t packets_;
  std::vector<std::atomic<int64_t>> times_;
};

// A subscriber on its own thread: decodes every record and keeps its
// latency, from the record's send time (bare runs) or from `times`.
class BenchSubscriber {
 public:
  BenchSubscriber(zmq::context_t& context, const std::string& endpoint, bool stalled,
                  const SendTimes* times)
      : socket_(context, zmq::socket_type::sub), stalled_(stalled), times_(times) {
    if (stalled) {
      socket_.set(zmq::sockopt::rcvhwm, 1);
      socket_.set(zmq::sockopt::rcvbuf, 1024);
    }
    socket_.set(zmq::sockopt::linger, 0);
    socket_.connect(endpoint);
    socket_.set(zmq::sockopt::subscribe, "");
    thread_ = std::thread([this] { run(); });
  }
  ~BenchSubscriber() { stop(); }
  bool joined() const { return joined_; }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  const std::vector<int64_t>& latencies() const { return latencies_; }
  uint64_t received(uint32_t id) const { return received_[id]; }

 private:
  void run() {
    zmq::pollitem_t item{socket_.handle(), 0, ZMQ_POLLIN, 0};
    while (!stop_) {
      if (zmq::poll(&item, 1, std::chrono::milliseconds(20)) == 0) continue;
      zmq::message_t topic, payload;
      if (!socket_.recv(topic, zmq::recv_flags::dontwait)) continue;
      (void)socket_.recv(payload);
      const int64_t now = nowMicroseconds();
      joined_ = true;
      if (stalled_) {
        // Reads what joining brings, then nothing more.
        while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return;
      }
      stream::Record r;
      if (stream::decode(payload.data<uint8_t>(), payload.size(), &r) !=
              stream::DecodeError::kNone ||
          r.kind != stream::Kind::kTracker || (r.flags & stream::kFlagReplay) || r.sequence == 0) {
        continue;
      }
      ++received_[r.id];
      if (r.sequence <= kWarmUpPackets) continue;
      const int64_t sent =
          times_ != nullptr ? times_->get(r.id, r.sequence) : int64_t(r.publishedMicroseconds);
      if (sent > 0) latencies_.push_back(now - sent);
    }
  }

  zmq::socket_t socket_;
  bool stalled_;
  const SendTimes* times_;
  std::thread thread_;
  std::atomic<bool> stop_{false}, joined_{false};
  std::vector<int64_t> latencies_;
  uint64_t received_[kTrackers + 1] = {};
};

struct Figures {
  double median = 0, p99 = 0;  // microseconds
  size_t samples = 0;
  uint64_t lost = 0;
  double packetsPerSecond = 0;
  Publisher::Counts counts;
};

void addLatencies(const std::vector<std::unique_ptr<BenchSubscriber>>& subscribers,
                  Figures* figures) {
  std::vector<int64_t> all;
  for (const auto& s : subscribers)
    all.insert(all.end(), s->latencies().begin(), s->latencies().end());
  std::sort(all.begin(), all.end());
  figures->samples = all.size();
  if (all.empty()) return;
  figures->median = static_cast<double>(all[all.size() / 2]);
  figures->p99 = static_cast<double>(all[std::min(all.size() - 1, all.size() * 99 / 100)]);
}

bool waitJoined(const std::vector<std::unique_ptr<BenchSubscriber>>& subscribers) {
  for (int i = 0; i < 500; ++i) {
    bool all = true;
    for (const auto& s : subscribers) all = all && s->joined();
    if (all) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A bare PUB socket sends 32 messages of a tracker record's size every
// millisecond; the subscribers measure from the time inside.
Figures bareRound(int subscriberCount, double seconds) {
  zmq::context_t context(1);
  zmq::socket_t pub(context, zmq::socket_type::pub);
  pub.bind("tcp://127.0.0.1:*");
  const std::string endpoint = pub.get(zmq::sockopt::last_endpoint);
  std::vector<std::unique_ptr<BenchSubscriber>> subscribers;
  for (int i = 0; i < subscriberCount; ++i) {
    subscribers.push_back(std::make_unique<BenchSubscriber>(context, endpoint, false, nullptr));
  }
  stream::Record record;
  record.kind = stream::Kind::kTracker;
  std::strcpy(record.device, "bench");
  uint8_t bytes[stream::kMaxRecordSize];
  const auto send = [&](uint32_t id, uint32_t sequence) {
    record.id = id;
    record.sequence = sequence;
    record.publishedMicroseconds = static_cast<uint64_t>(nowMicroseconds());
    const size_t size = stream::encode(record, bytes, sizeof bytes);
    const std::string topic = stream::topicOf(record);
    pub.send(zmq::buffer(topic), zmq::send_flags::sndmore);
    pub.send(zmq::buffer(bytes, size), zmq::send_flags::none);
  };
  // Joining: PUB has no replay, so send until everyone has a message.
  for (int i = 0; i < 500; ++i) {
    send(1, 0);
    bool all = true;
    for (const auto& s : subscribers) all = all && s->joined();
    if (all) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const uint32_t packets = static_cast<uint32_t>(seconds * 1000);
  auto next = std::chrono::steady_clock::now();
  for (uint32_t packet = 1; packet <= packets; ++packet) {
    next += std::chrono::microseconds(1000);
    std::this_thread::sleep_until(next);
    for (uint32_t id = 1; id <= kTrackers; ++id) send(id, packet);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Figures figures;
  for (const auto& s : subscribers) {
    s->stop();
    for (uint32_t id = 1; id <= kTrackers; ++id) figures.lost += packets - s->received(id);
  }
  addLatencies(subscribers, &figures);
  figures.packetsPerSecond = packets / seconds;
  return figures;
}

// One device of 32 trackers, brought up against mstar-sim.
struct Device {
  CLogH log{};  // switched off: the figures, not the driver's lines
  std::unique_ptr<HostStorages> storages;
  std::unique_ptr<HostEntry> entry;
  CBase* device = nullptr;
  DriverModule* module = nullptr;

  bool bringUp(DriverModule& m) {
    module = &m;
    ConfigFile file;
    std::string error;
    parseConfigText("device bench motionstar 32\nmotionstaraddress " + std::string(kSimAddress) +
                        "\nprotocol tcp\n",
                    "bench", &file, &error);
    storages = std::make_unique<HostStorages>(log);
    entry = std::make_unique<HostEntry>(file.devices.front());
    device = module->create(entry->entry(), &log);
    InitInfo info = storages->initInfo();
    return device != nullptr && device->init(&info) == 1 && device->configure() != 0 &&
           device->start();
  }
  ~Device() {
    if (device == nullptr) return;
    device->stop();
    module->destroy(device);
  }
};

uint32_t be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The host's reading loop for `seconds`, with the send times noted.
// Returns the packets read; *records the records published, sequence[id]
// those of each tracker.
uint64_t readFor(Device& d, Output& output, SendTimes* times, double seconds, uint64_t* records,
                 uint32_t (&sequence)[kTrackers + 1]) {
  uint64_t packets = 0;
  const int64_t end = nowMicroseconds() + static_cast<int64_t>(seconds * 1e6);
  while (nowMicroseconds() < end) {
    UpdatedMasks masks{};
    if (d.device->recvData(&masks, nullptr) != 1) continue;
    const int64_t returned = nowMicroseconds();
    ++packets;
    const uint32_t mask = be32(masks.tracker);
    for (uint32_t id = 1; id <= kTrackers; ++id) {
      if ((mask & (1u << (id - 1))) == 0) continue;
      if (times != nullptr) times->set(id, ++sequence[id], returned);
      output.publish(decodeTracker("bench", d.storages->tracker(id)));
      ++*records;
    }
    output.deviceStats("bench", packets, 0);
  }
  return packets;
}

// The host path: reading, the host's output, the publisher, subscribers.
Figures hostRound(DriverModule& module, int subscriberCount, int stalledCount, double seconds,
                  std::vector<double>* joinMilliseconds) {
  Figures figures;
  Device d;
  if (!d.bringUp(module)) {
    std::fprintf(stderr, "publish_bench: the device did not come up\n");
    return figures;
  }
  static std::FILE* nowhere = std::fopen("/dev/null", "w");
  Output output(Format::kTable, nowhere);
  PublishOptions options;
  options.endpoints = {"tcp://127.0.0.1:*"};
  std::string error;
  auto publisher = Publisher::start(options, {"bench"}, &error);
  if (!publisher) {
    std::fprintf(stderr, "publish_bench: %s\n", error.c_str());
    return figures;
  }
  output.alsoSendTo(publisher.get());
  const std::string endpoint = publisher->endpoints()[0];
  SendTimes times(static_cast<uint32_t>(seconds * 1000 * 2 + 1000));
  zmq::context_t context(1);
  std::vector<std::unique_ptr<BenchSubscriber>> subscribers;
  for (int i = 0; i < subscriberCount; ++i) {
    subscribers.push_back(
        std::make_unique<BenchSubscriber>(context, endpoint, i < stalledCount, &times));
  }
  if (!waitJoined(subscribers)) std::fprintf(stderr, "publish_bench: a subscriber did not join\n");

  uint64_t records = 0;
  uint32_t published[kTrackers + 1] = {};
  const uint64_t packets = readFor(d, output, &times, seconds, &records, published);
  figures.packetsPerSecond = packets / seconds;

  // A subscriber joining now: how long until it has every topic's state.
  for (int i = 0; joinMilliseconds != nullptr && i < 5; ++i) {
    zmq::socket_t joiner(context, zmq::socket_type::sub);
    const int64_t start = nowMicroseconds();
    joiner.connect(endpoint);
    joiner.set(zmq::sockopt::subscribe, "");
    std::map<std::string, bool> topics;
    while (topics.size() < kTrackers + 1) {
      zmq::message_t topic, payload;
      if (!joiner.recv(topic)) break;
      (void)joiner.recv(payload);
      topics[topic.to_string()] = true;
    }
    joinMilliseconds->push_back((nowMicroseconds() - start) / 1000.0);
  }

  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (const auto& s : subscribers) s->stop();
  figures.counts = publisher->counts();
  publisher->close();
  std::vector<std::unique_ptr<BenchSubscriber>> keepingUp;
  for (int i = stalledCount; i < subscriberCount; ++i) {
    for (uint32_t id = 1; id <= kTrackers; ++id) {
      figures.lost += published[id] - subscribers[static_cast<size_t>(i)]->received(id);
    }
  }
  subscribers.erase(subscribers.begin(), subscribers.begin() + stalledCount);
  addLatencies(subscribers, &figures);
  return figures;
}

// CPU time of this process (device thread, publisher, ZeroMQ's I/O thread)
// per published record, with the subscriber in a process of its own.
double cpuPerRecord(DriverModule& module, bool publish, double seconds, const char* self) {
  Device d;
  if (!d.bringUp(module)) return 0;
  static std::FILE* nowhere = std::fopen("/dev/null", "w");
  Output output(Format::kTable, nowhere);
  std::unique_ptr<Publisher> publisher;
  platform::ChildProcess subscriber;
  if (publish) {
    PublishOptions options;
    options.endpoints = {"tcp://127.0.0.1:*"};
    std::string error;
    publisher = Publisher::start(options, {"bench"}, &error);
    if (!publisher) return 0;
    output.alsoSendTo(publisher.get());
    subscriber.start({self, "--subscriber", publisher->endpoints()[0]}, false);
    std::string line;
    subscriber.readLine(&line, 10000);  // "joined"
  }
  uint64_t records = 0;
  uint32_t published[kTrackers + 1] = {};
  const std::clock_t start = std::clock();
  readFor(d, output, nullptr, seconds, &records, published);
  const double cpu = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  if (publish) {
    publisher->close();
    std::string line;
    subscriber.readLine(&line, 10000);
    std::printf("  subscriber process: %s of %llu\n", line.c_str(),
                static_cast<unsigned long long>(records));
    subscriber.wait(10000);
  }
  return records == 0 ? 0 : cpu / static_cast<double>(records) * 1e6;
}

// The subscriber process of the CPU figure: counts records until the
// device's "stopped" status.
int subscriberProcess(const char* endpoint) {
  zmq::context_t context(1);
  zmq::socket_t socket(context, zmq::socket_type::sub);
  socket.connect(endpoint);
  socket.set(zmq::sockopt::subscribe, "");
  uint64_t records = 0;
  bool joined = false;
  for (;;) {
    zmq::message_t topic, payload;
    if (!socket.recv(topic)) return 1;
    (void)socket.recv(payload);
    if (!joined) {
      std::printf("joined\n");
      std::fflush(stdout);
      joined = true;
    }
    stream::Record r;
    if (stream::decode(payload.data<uint8_t>(), payload.size(), &r) != stream::DecodeError::kNone) {
      continue;
    }
    if (r.kind == stream::Kind::kTracker) ++records;
    if (r.kind == stream::Kind::kStatus && r.state == stream::DeviceState::kStopped) break;
  }
  std::printf("received %llu records\n", static_cast<unsigned long long>(records));
  return 0;
}

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void printLatency(const char* what, const Figures& f, const Figures* bare) {
  std::printf("%-34s median %7.1f us  p99 %7.1f us", what, f.median, f.p99);
  if (bare != nullptr && bare->p99 > 0) std::printf("  (p99 %.2fx bare)", f.p99 / bare->p99);
  std::printf("  lost %llu  [%zu samples]\n", static_cast<unsigned long long>(f.lost), f.samples);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--subscriber") == 0) return subscriberProcess(argv[2]);
  double seconds = 5;
  bool cpuOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--cpu-only") == 0) {
      cpuOnly = true;
    } else {
      seconds = 0;
    }
  }
  if (!(seconds > 0)) {
    std::fprintf(stderr, "usage: publish_bench [--seconds N] [--cpu-only]\n");
    return 2;
  }
  static NullBuffer sink;  // the driver's reports go to std::cout even with its logger off
  std::cout.rdbuf(&sink);
  DriverModule module;
  std::string error;
  if (!module.load(MODULE_PATH, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  platform::ChildProcess simulator;
  simulator.start({"/bin/sh", "-c", "exec \"$0\" -a \"$1\" -p tcp -t 32 -r 1000 >/dev/null",
                   SIM_PATH, kSimAddress},
                  false);
  platform::sleepMilliseconds(300);

  std::printf("publish_bench: 32 trackers x 1000 packets/s, %.0f s a phase, loopback TCP\n",
              seconds);
  if (!cpuOnly) {
    const Figures bare1 = bareRound(1, seconds);
    const Figures bare8 = bareRound(8, seconds);
    std::vector<double> joins;
    const Figures host1 = hostRound(module, 1, 0, seconds, &joins);
    const Figures host8 = hostRound(module, 8, 0, seconds, nullptr);
    const Figures stalled = hostRound(module, 8, 1, seconds, nullptr);

    printLatency("bare ZeroMQ PUB/SUB, 1 subscriber", bare1, nullptr);
    printLatency("bare ZeroMQ PUB/SUB, 8 subscribers", bare8, nullptr);
    printLatency("host publishing, 1 subscriber", host1, &bare1);
    printLatency("host publishing, 8 subscribers", host8, &bare8);
    printLatency("host, 7 subscribers + 1 stalled", stalled, &bare8);
    std::printf(
        "reading rate (packets/s): 1 subscriber %.1f, 8 subscribers %.1f, "
        "7 + 1 stalled %.1f\n",
        host1.packetsPerSecond, host8.packetsPerSecond, stalled.packetsPerSecond);
    for (const Figures* f : {&host1, &host8, &stalled}) {
      std::printf(
          "publisher counts: published %llu, subscriber queue overflows %llu, "
          "dropped before sending %llu\n",
          static_cast<unsigned long long>(f->counts.published),
          static_cast<unsigned long long>(f->counts.subscriberOverflows),
          static_cast<unsigned long long>(f->counts.droppedBeforeSending));
    }
    std::sort(joins.begin(), joins.end());
    if (!joins.empty()) {
      std::printf("joining subscriber has all 33 topics after: median %.2f ms, worst %.2f ms\n",
                  joins[joins.size() / 2], joins.back());
    }
  }
  // Off and on in turns, three times: the middle figure of each.
  std::vector<double> off, on;
  for (int round = 0; round < 3; ++round) {
    off.push_back(cpuPerRecord(module, false, seconds, argv[0]));
    on.push_back(cpuPerRecord(module, true, seconds, argv[0]));
    std::printf("  CPU per record, round %d: off %.2f us, on %.2f us\n", round + 1, off.back(),
                on.back());
  }
  std::sort(off.begin(), off.end());
  std::sort(on.begin(), on.end());
  std::printf(
      "host CPU per published record (middle of 3): publishing off %.2f us, on %.2f us "
      "(%.2fx)\n",
      off[1], on[1], off[1] > 0 ? on[1] / off[1] : 0);
  simulator.interrupt();
  simulator.wait(5000);
  return 0;
}
