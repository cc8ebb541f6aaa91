// The ZeroMQ publisher. A device's thread gathers the records of one read
// and hands them over together, in one message on an in-process pipe, to
// the publishing thread. That thread owns the XPUB socket, keeps the last
// record of every topic and replays it to new subscriptions. One hand-over
// a read, not one a record, keeps threads from waking each other 32 times a
// packet.
#include "host/publisher.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <zmq.hpp>

#include "host/stream_records.h"

namespace stream = motionstar::stream;

namespace {

// ZeroMQ's default, said here because the README and --help promise it.
constexpr int kSubscriberQueue = 1000;
// Reads waiting between the device threads and the publishing thread.
constexpr int kHandOffQueue = 500;
// How long closing waits to deliver the last records (the "stopped"
// statuses) to subscribers that are still there.
constexpr int kLingerMs = 200;

uint64_t nowMicroseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

// A hand-over holds records one after the other: topic size, topic, record
// size, record (sizes as 32-bit words in this machine's order).
void appendRecord(std::string* batch, std::string_view topic, std::string_view record) {
  for (std::string_view part : {topic, record}) {
    const auto size = static_cast<uint32_t>(part.size());
    batch->append(reinterpret_cast<const char*>(&size), sizeof size);
    batch->append(part);
  }
}

// The next part of a hand-over, from *at on; false at its end.
bool nextPart(std::string_view batch, size_t* at, std::string_view* part) {
  uint32_t size = 0;
  if (batch.size() - *at < sizeof size) return false;
  std::memcpy(&size, batch.data() + *at, sizeof size);
  *at += sizeof size;
  *part = batch.substr(*at, size);
  *at += part->size();
  return true;
}

class ZmqPublisher final : public Publisher {
 public:
  ~ZmqPublisher() override { close(); }

  bool open(const PublishOptions& options, const std::vector<std::string>& devices,
            std::string* error);

  void publish(const Publication& publication) override;
  void deviceStats(const std::string& device, uint64_t packets, uint64_t failures) override;
  std::string summary() override;
  void deviceState(const std::string& device, stream::DeviceState state, uint32_t dropouts,
                   uint32_t recoveries) override;
  void close() override;
  std::vector<std::string> endpoints() const override { return endpoints_; }
  Counts counts() const override;

 private:
  struct Device {
    std::string name;
    std::atomic<uint64_t> packets{0}, failures{0};
    std::mutex mutex;  // what follows
    std::string batch;
    uint32_t batchRecords = 0;
    // Per topic: [0] trackers, [1] controllers, by output ID.
    uint32_t sequence[2][stream::kMaxId + 1] = {};
    uint32_t statusSequence = 0, dropouts = 0, recoveries = 0;
    bool announced = false;
  };

  Device* find(const std::string& name) {
    auto it = devices_.find(name);
    return it == devices_.end() ? nullptr : it->second.get();
  }
  // Under the device's mutex.
  std::string statusLocked(Device& device, stream::DeviceState state);
  void announceLocked(Device& device, stream::DeviceState state);
  void announceStreamingLocked(Device& device);
  void handOverLocked(Device& device);

  // The publishing thread.
  void run();
  void forward(std::string_view batch);
  void replay(std::string_view prefix);
  bool sendToSubscribers(zmq::message_t& topic, zmq::message_t& payload);

  bool json_ = false;
  std::map<std::string, std::unique_ptr<Device>> devices_;  // fixed once open
  std::vector<std::string> endpoints_;

  zmq::context_t context_{1};
  zmq::socket_t out_{context_, zmq::socket_type::xpub};  // publishing thread
  zmq::socket_t in_{context_, zmq::socket_type::pull};   // publishing thread
  std::mutex handOffMutex_;
  zmq::socket_t handOff_{context_, zmq::socket_type::push};  // under handOffMutex_
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> closed_{false};
  std::string threadError_;  // read after the thread ended

  // The last record of every topic: publishing thread only.
  std::map<std::string, std::string, std::less<>> lastRecords_;

  std::atomic<uint64_t> published_{0}, replayed_{0}, overflows_{0}, droppedBeforeSending_{0};
};

bool ZmqPublisher::open(const PublishOptions& options, const std::vector<std::string>& devices,
                        std::string* error) {
  if (options.endpoints.empty()) {
    *error = "--publish-format needs --publish ENDPOINT";
    return false;
  }
  json_ = options.json;
  for (const std::string& name : devices) {
    // A slash would make one device's topics a prefix match of another's.
    if (name.empty() || name.size() > stream::kMaxDeviceName ||
        name.find('/') != std::string::npos) {
      *error = "device \"" + name +
               "\" cannot be published: a published device name has 1 to 32 bytes and no '/'";
      return false;
    }
    auto& slot = devices_[name];
    if (slot) {
      *error = "two devices are named \"" + name + "\": their records would share topics";
      return false;
    }
    slot = std::make_unique<Device>();
    slot->name = name;
  }
  try {
    // Verbose: every subscription reaches us, not only a topic's first, so
    // every joiner gets its replay. No-drop: a send that some full queue
    // cannot take fails, so the overflow is seen (sendToSubscribers).
    out_.set(zmq::sockopt::xpub_verbose, 1);
    out_.set(zmq::sockopt::xpub_nodrop, 1);
    out_.set(zmq::sockopt::sndhwm, kSubscriberQueue);
    out_.set(zmq::sockopt::linger, kLingerMs);
    for (const std::string& endpoint : options.endpoints) {
      try {
        out_.bind(endpoint);
      } catch (const zmq::error_t& e) {
        *error = "cannot publish on '" + endpoint + "': " + e.what();
        return false;
      }
      endpoints_.push_back(out_.get(zmq::sockopt::last_endpoint));
    }
    in_.set(zmq::sockopt::rcvhwm, kHandOffQueue);
    in_.bind("inproc://records");
    handOff_.set(zmq::sockopt::sndhwm, kHandOffQueue);
    handOff_.connect("inproc://records");
  } catch (const zmq::error_t& e) {
    *error = std::string("cannot set up publishing: ") + e.what();
    return false;
  }
  // Every subscriber gets the devices' first status as a replay, however
  // early it connects: no thread reads a subscription yet.
  for (auto& [name, device] : devices_) {
    std::lock_guard<std::mutex> lock(device->mutex);
    lastRecords_[name + "/status"] = statusLocked(*device, stream::DeviceState::kStarting);
    ++published_;
  }
  running_ = true;
  thread_ = std::thread([this] { run(); });
  return true;
}

void ZmqPublisher::publish(const Publication& p) {
  Device* device = find(p.device);
  stream::Record record;
  if (device == nullptr || p.id < 1 || p.id > stream::kMaxId || !toStreamRecord(p, &record)) {
    ++droppedBeforeSending_;
    return;
  }
  const std::string topic = topicOf(p);
  std::lock_guard<std::mutex> lock(device->mutex);
  announceStreamingLocked(*device);
  if (json_) {
    appendRecord(&device->batch, topic, Output::jsonLine(p));
  } else {
    record.sequence = ++device->sequence[p.kind == Publication::kTracker ? 0 : 1][p.id];
    record.publishedMicroseconds = nowMicroseconds();
    uint8_t bytes[stream::kMaxRecordSize];
    const size_t size = stream::encode(record, bytes, sizeof bytes);
    appendRecord(&device->batch, topic, {reinterpret_cast<char*>(bytes), size});
  }
  ++device->batchRecords;
}

void ZmqPublisher::deviceStats(const std::string& name, uint64_t packets, uint64_t failures) {
  Device* device = find(name);
  if (device == nullptr) return;
  device->packets = packets;
  device->failures = failures;
  std::lock_guard<std::mutex> lock(device->mutex);
  announceStreamingLocked(*device);
  handOverLocked(*device);
}

void ZmqPublisher::deviceState(const std::string& name, stream::DeviceState state,
                               uint32_t dropouts, uint32_t recoveries) {
  Device* device = find(name);
  if (device == nullptr) return;
  std::lock_guard<std::mutex> lock(device->mutex);
  device->dropouts = dropouts;
  device->recoveries = recoveries;
  announceLocked(*device, state);
  handOverLocked(*device);
}

// Reading has begun: the first record or counters are the host's sign of a
// streaming device.
void ZmqPublisher::announceStreamingLocked(Device& device) {
  if (device.announced) return;
  device.announced = true;
  announceLocked(device, stream::DeviceState::kStreaming);
}

void ZmqPublisher::announceLocked(Device& device, stream::DeviceState state) {
  appendRecord(&device.batch, device.name + "/status", statusLocked(device, state));
  ++device.batchRecords;
}

std::string ZmqPublisher::statusLocked(Device& device, stream::DeviceState state) {
  const uint64_t now = nowMicroseconds();
  stream::Record record;
  record.kind = stream::Kind::kStatus;
  device.name.copy(record.device, stream::kMaxDeviceName);
  record.publishedMicroseconds = now;
  record.sequence = ++device.statusSequence;
  record.stampSeconds = static_cast<uint32_t>(now / 1000000);
  record.stampMilliseconds = static_cast<uint16_t>(now / 1000 % 1000);
  record.state = state;
  record.dropouts = device.dropouts;
  record.recoveries = device.recoveries;
  record.packets = device.packets;
  record.failures = device.failures;
  if (json_) return statusJson(record);
  uint8_t bytes[stream::kMaxRecordSize];
  return std::string(reinterpret_cast<char*>(bytes), stream::encode(record, bytes, sizeof bytes));
}

void ZmqPublisher::handOverLocked(Device& device) {
  if (device.batchRecords == 0) return;
  zmq::message_t message(device.batch.data(), device.batch.size());
  {
    std::lock_guard<std::mutex> lock(handOffMutex_);
    if (closed_ || !handOff_.send(message, zmq::send_flags::dontwait)) {
      droppedBeforeSending_ += device.batchRecords;
    }
  }
  device.batch.clear();
  device.batchRecords = 0;
}

void ZmqPublisher::run() {
  zmq::pollitem_t items[] = {{in_.handle(), 0, ZMQ_POLLIN, 0}, {out_.handle(), 0, ZMQ_POLLIN, 0}};
  try {
    for (bool stop = false; !stop;) {
      zmq::poll(items, 2, std::chrono::milliseconds(-1));
      if (items[1].revents & ZMQ_POLLIN) {
        // Subscriptions (first byte 1) and unsubscriptions (0), topic after.
        zmq::message_t message;
        while (out_.recv(message, zmq::recv_flags::dontwait)) {
          const auto* bytes = message.data<char>();
          if (message.size() >= 1 && bytes[0] == 1) replay({bytes + 1, message.size() - 1});
        }
      }
      if (items[0].revents & ZMQ_POLLIN) {
        zmq::message_t batch;
        while (!stop && in_.recv(batch, zmq::recv_flags::dontwait)) {
          stop = batch.size() == 0;  // close() asks to stop, after the last records
          forward({batch.data<char>(), batch.size()});
        }
      }
    }
  } catch (const zmq::error_t& e) {
    threadError_ = e.what();
  }
  running_ = false;
}

void ZmqPublisher::forward(std::string_view batch) {
  size_t at = 0;
  for (std::string_view topic, record;
       nextPart(batch, &at, &topic) && nextPart(batch, &at, &record);) {
    auto last = lastRecords_.find(topic);
    if (last == lastRecords_.end()) last = lastRecords_.emplace(topic, std::string()).first;
    last->second.assign(record);
    zmq::message_t topicFrame(topic.data(), topic.size());
    zmq::message_t recordFrame(record.data(), record.size());
    ++published_;
    if (!sendToSubscribers(topicFrame, recordFrame)) ++overflows_;
  }
}

void ZmqPublisher::replay(std::string_view prefix) {
  for (auto it = lastRecords_.lower_bound(prefix);
       it != lastRecords_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    zmq::message_t topic(it->first.data(), it->first.size());
    zmq::message_t payload(it->second.data(), it->second.size());
    if (!json_) payload.data<uint8_t>()[2] |= stream::kFlagReplay;
    ++replayed_;
    if (!sendToSubscribers(topic, payload)) ++overflows_;
  }
}

// PUB and XPUB sockets drop silently for a subscriber whose queue is full.
// With no-drop set, the send fails instead when a matching subscriber is
// full; the message then goes out once more with dropping allowed, so the
// others still get it. ZeroMQ then leaves that subscriber out, silently,
// until it has caught up: one overflow is seen per such stretch.
bool ZmqPublisher::sendToSubscribers(zmq::message_t& topic, zmq::message_t& payload) {
  bool everyone = true;
  zmq::message_t* frames[] = {&topic, &payload};
  for (zmq::message_t* frame : frames) {
    const auto more = frame == &topic ? zmq::send_flags::sndmore : zmq::send_flags::none;
    if (out_.send(*frame, more | zmq::send_flags::dontwait)) continue;
    if (everyone) out_.set(zmq::sockopt::xpub_nodrop, 0);
    everyone = false;
    (void)out_.send(*frame, more | zmq::send_flags::dontwait);
  }
  if (!everyone) out_.set(zmq::sockopt::xpub_nodrop, 1);
  return everyone;
}

void ZmqPublisher::close() {
  // Not opened: nothing was published, nothing to say.
  if (!thread_.joinable() || closed_) return;
  for (auto& [name, device] : devices_) {
    std::lock_guard<std::mutex> lock(device->mutex);
    announceLocked(*device, stream::DeviceState::kStopped);
    handOverLocked(*device);
  }
  {
    std::lock_guard<std::mutex> lock(handOffMutex_);
    // The stop message queues behind the last records; a dead thread
    // cannot take it, so do not wait for one.
    zmq::message_t stop;
    while (running_ && !handOff_.send(stop, zmq::send_flags::dontwait)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    closed_ = true;
  }
  thread_.join();
  handOff_.close();
  in_.close();
  out_.close();
  context_.close();  // waits up to the linger for the last records
}

Publisher::Counts ZmqPublisher::counts() const {
  Counts c;
  c.published = published_;
  c.replayed = replayed_;
  c.subscriberOverflows = overflows_;
  c.droppedBeforeSending = droppedBeforeSending_;
  return c;
}

std::string ZmqPublisher::summary() {
  const Counts c = counts();
  std::string text = "published " + std::to_string(c.published) + " records (" +
                     (json_ ? "json" : "binary") + ") on";
  for (const std::string& endpoint : endpoints_) text += " " + endpoint;
  text += ", " + std::to_string(c.replayed) + " replayed to joiners; " +
          std::to_string(c.subscriberOverflows) + " subscriber queue overflows, " +
          std::to_string(c.droppedBeforeSending) + " records dropped before sending";
  if (!running_ && !threadError_.empty()) text += "; publishing stopped: " + threadError_;
  return text;
}

}  // namespace

std::unique_ptr<Publisher> Publisher::start(const PublishOptions& options,
                                            const std::vector<std::string>& devices,
                                            std::string* error) {
  auto publisher = std::make_unique<ZmqPublisher>();
  if (!publisher->open(options, devices, error)) return nullptr;
  return publisher;
}
