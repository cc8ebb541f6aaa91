// The publisher on real sockets (loopback TCP and ipc) with ZeroMQ
// subscribers: what arrives, in which order, for whom, when subscribers
// join late, leave, come back or stall.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>
#include <zmq.hpp>

#include "host/publisher.h"
#include "host/stream_records.h"

namespace {

namespace stream = motionstar::stream;

// Long enough for a loaded machine; only a fault makes a test wait it out.
constexpr auto kWait = std::chrono::seconds(10);

uint64_t nowMicroseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

Publication tracker(const std::string& device, uint32_t id, int round) {
  Publication p;
  p.kind = Publication::kTracker;
  p.device = device;
  p.id = id;
  p.time = 1765030193 + round / 1000.0;
  for (int i = 0; i < 6; ++i) p.pose[i] = (round * 7 + id * 3 + i) / 100000.0 - 0.5;
  return p;
}

Publication wand(const std::string& device, uint32_t id, int round) {
  Publication p;
  p.kind = Publication::kController;
  p.device = device;
  p.id = id;
  p.time = 1765030193 + round / 1000.0;
  p.valuators = {round / 1000.0, -round / 1000.0};
  p.buttons = {round % 2, 0, 1};
  return p;
}

struct Message {
  std::string topic, payload;
  stream::Record record;
  bool decoded = false;
};

class Subscriber {
 public:
  Subscriber(zmq::context_t& context, const std::string& endpoint,
             std::vector<std::string> prefixes = {""}, int queue = 1000)
      : socket_(context, zmq::socket_type::sub) {
    socket_.set(zmq::sockopt::rcvhwm, queue);
    if (queue < 10) socket_.set(zmq::sockopt::rcvbuf, 1024);
    socket_.set(zmq::sockopt::linger, 0);
    socket_.connect(endpoint);
    for (const std::string& prefix : prefixes) socket_.set(zmq::sockopt::subscribe, prefix);
  }

  // The next message, or false when none came within `wait`.
  bool receive(Message* out, std::chrono::milliseconds wait = kWait) {
    zmq::pollitem_t item{socket_.handle(), 0, ZMQ_POLLIN, 0};
    if (zmq::poll(&item, 1, wait) == 0) return false;
    zmq::message_t topic, payload;
    EXPECT_TRUE(socket_.recv(topic));
    EXPECT_TRUE(topic.more()) << "a message without its record";
    EXPECT_TRUE(socket_.recv(payload));
    EXPECT_FALSE(payload.more());
    out->topic = topic.to_string();
    out->payload = payload.to_string();
    out->decoded = stream::decode(payload.data<uint8_t>(), payload.size(), &out->record) ==
                   stream::DecodeError::kNone;
    return true;
  }

  // Receives `count` messages; fails the test when they do not come.
  std::vector<Message> take(size_t count) {
    std::vector<Message> messages(count);
    for (size_t i = 0; i < count; ++i) {
      if (!receive(&messages[i])) {
        ADD_FAILURE() << "only " << i << " of " << count << " messages came";
        messages.resize(i);
        break;
      }
    }
    return messages;
  }

  void close() { socket_.close(); }

 private:
  zmq::socket_t socket_;
};

std::unique_ptr<Publisher> startPublisher(const std::vector<std::string>& devices,
                                          bool json = false,
                                          const std::string& endpoint = "tcp://127.0.0.1:*") {
  PublishOptions options;
  options.endpoints = {endpoint};
  options.json = json;
  std::string error;
  auto publisher = Publisher::start(options, devices, &error);
  EXPECT_TRUE(publisher) << error;
  return publisher;
}

// The end of a device's read, as the host marks it: the read's records leave.
void endRead(Publisher& publisher, const std::string& device) {
  publisher.deviceStats(device, 1, 0);
}

// Waits until the publishing thread has sent `records` in all, so that a
// subscriber joining now is replayed the newest of them.
void awaitSent(Publisher& publisher, uint64_t records) {
  const auto end = std::chrono::steady_clock::now() + kWait;
  while (publisher.counts().published < records && std::chrono::steady_clock::now() < end) {
    std::this_thread::yield();
  }
  ASSERT_EQ(publisher.counts().published, records);
}

// A publisher whose devices are reading: their "streaming" statuses are
// out before anyone joins.
std::unique_ptr<Publisher> startReading(const std::vector<std::string>& devices,
                                        const std::string& endpoint = "tcp://127.0.0.1:*") {
  auto publisher = startPublisher(devices, false, endpoint);
  if (!publisher) return publisher;
  for (const std::string& device : devices) endRead(*publisher, device);
  awaitSent(*publisher, 2 * devices.size());
  return publisher;
}

// Reads the status replays a new subscriber of `devices` gets: once they
// are there, it receives everything published after.
void awaitJoined(Subscriber& subscriber, size_t devices) {
  for (const Message& m : subscriber.take(devices)) {
    EXPECT_NE(m.topic.find("/status"), std::string::npos) << m.topic;
  }
}

TEST(Publisher, EveryRecordArrivesInOrderWithItsValues) {
  zmq::context_t context;
  auto publisher = startReading({"a", "b"});
  ASSERT_TRUE(publisher);
  Subscriber subscriber(context, publisher->endpoints()[0]);
  for (const Message& m : subscriber.take(2)) {
    ASSERT_TRUE(m.decoded);
    EXPECT_EQ(m.record.state, stream::DeviceState::kStreaming) << m.topic;
    EXPECT_EQ(m.record.sequence, 2u) << "after starting";
    EXPECT_EQ(m.record.flags, stream::kFlagReplay);
  }

  const uint64_t before = nowMicroseconds();
  std::vector<Publication> sent;
  for (int round = 0; round < 200; ++round) {
    for (const Publication& p : {tracker("a", 1, round), tracker("a", 2, round),
                                 wand("a", 1, round), tracker("b", 3, round)}) {
      publisher->publish(p);
      sent.push_back(p);
      if (p.device == "b" || p.kind == Publication::kController) endRead(*publisher, p.device);
    }
  }
  const std::vector<Message> records = subscriber.take(sent.size());
  ASSERT_EQ(records.size(), sent.size());
  const uint64_t after = nowMicroseconds();
  for (size_t i = 0; i < sent.size(); ++i) {
    const Message& m = records[i];
    ASSERT_TRUE(m.decoded) << i;
    EXPECT_EQ(m.topic, topicOf(sent[i]));
    EXPECT_EQ(Output::jsonLine(fromStreamRecord(m.record)), Output::jsonLine(sent[i]));
    EXPECT_EQ(m.record.sequence, i / 4 + 1) << m.topic;
    EXPECT_EQ(m.record.flags, 0);
    EXPECT_GE(m.record.publishedMicroseconds, before);
    EXPECT_LE(m.record.publishedMicroseconds, after);
  }
  const Publisher::Counts counts = publisher->counts();
  EXPECT_EQ(counts.published, 4 + sent.size());  // starting and streaming statuses too
  EXPECT_EQ(counts.subscriberOverflows + counts.droppedBeforeSending, 0u);
}

TEST(Publisher, JsonFormatSendsTheLinesTheHostPrints) {
  zmq::context_t context;
  auto publisher = startPublisher({"cave"}, true);
  ASSERT_TRUE(publisher);
  Subscriber subscriber(context, publisher->endpoints()[0]);
  const std::vector<Message> joined = subscriber.take(1);
  ASSERT_EQ(joined.size(), 1u);
  EXPECT_EQ(joined[0].topic, "cave/status");
  EXPECT_NE(joined[0].payload.find("\"type\":\"status\",\"state\":\"starting\""), std::string::npos)
      << joined[0].payload;
  const Publication pose = tracker("cave", 5, 1), buttons = wand("cave", 1, 2);
  publisher->publish(pose);
  publisher->publish(buttons);
  endRead(*publisher, "cave");
  const std::vector<Message> records = subscriber.take(3);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].topic, "cave/status");
  EXPECT_NE(records[0].payload.find("\"state\":\"streaming\""), std::string::npos);
  EXPECT_EQ(records[1].topic, "cave/tracker/5");
  EXPECT_EQ(records[1].payload, Output::jsonLine(pose));
  EXPECT_EQ(records[2].topic, "cave/controller/1");
  EXPECT_EQ(records[2].payload, Output::jsonLine(buttons));
}

TEST(Publisher, SubscribersGetOnlyTheTopicsTheyAskFor) {
  zmq::context_t context;
  auto publisher = startReading({"a", "b"});
  ASSERT_TRUE(publisher);
  auto publishRound = [&](int round) {
    for (uint32_t id : {1u, 2u, 10u}) publisher->publish(tracker("a", id, round));
    endRead(*publisher, "a");
    publisher->publish(tracker("b", 11, round));
    publisher->publish(wand("b", 1, round));
    endRead(*publisher, "b");
  };
  publishRound(0);
  awaitSent(*publisher, 4 + 5);
  // The topic prefix "a/tracker/1" takes trackers 10 to 19 too.
  Subscriber one(context, publisher->endpoints()[0], {"a/tracker/1"});
  Subscriber wands(context, publisher->endpoints()[0], {"a/controller/", "b/controller/"});
  Subscriber device(context, publisher->endpoints()[0], {"b/"});
  // Joining is seen by the replays of the topics asked for.
  struct Expected {
    std::vector<std::string> replays;
    std::vector<std::string> live;  // per round
  };
  const std::map<Subscriber*, Expected> expected = {
      {&one, {{"a/tracker/1", "a/tracker/10"}, {"a/tracker/1", "a/tracker/10"}}},
      {&wands, {{"b/controller/1"}, {"b/controller/1"}}},
      {&device,
       {{"b/controller/1", "b/status", "b/tracker/11"}, {"b/tracker/11", "b/controller/1"}}},
  };
  for (const auto& [subscriber, topics] : expected) {
    for (const Message& m : subscriber->take(topics.replays.size())) {
      EXPECT_NE(std::find(topics.replays.begin(), topics.replays.end(), m.topic),
                topics.replays.end())
          << m.topic;
      EXPECT_EQ(m.record.flags, stream::kFlagReplay);
    }
  }
  for (int round = 1; round <= 50; ++round) publishRound(round);
  for (const auto& [subscriber, topics] : expected) {
    size_t index = 0;
    for (Message m; index < 50 * topics.live.size() && subscriber->receive(&m);) {
      // Another subscriber's joining may replay a shared topic once more.
      if (m.record.flags == stream::kFlagReplay) continue;
      EXPECT_EQ(m.topic, topics.live[index % topics.live.size()]);
      EXPECT_EQ(m.record.sequence, index / topics.live.size() + 2) << m.topic;
      ++index;
    }
    EXPECT_EQ(index, 50 * topics.live.size());
  }
}

TEST(Publisher, ALateJoinerGetsTheCurrentStateAtOnce) {
  zmq::context_t context;
  auto publisher = startPublisher({"a"});
  ASSERT_TRUE(publisher);
  Subscriber early(context, publisher->endpoints()[0]);
  awaitJoined(early, 1);
  for (int round = 0; round < 10; ++round) {
    publisher->publish(tracker("a", 1, round));
    publisher->publish(tracker("a", 2, round));
    publisher->publish(wand("a", 1, round));
    endRead(*publisher, "a");
  }
  ASSERT_EQ(early.take(31).size(), 31u);

  // Nothing is published while the late one joins: all it gets is the replay.
  Subscriber late(context, publisher->endpoints()[0]);
  const std::map<std::string, std::string> current = {
      {"a/controller/1", Output::jsonLine(wand("a", 1, 9))},
      {"a/status", ""},
      {"a/tracker/1", Output::jsonLine(tracker("a", 1, 9))},
      {"a/tracker/2", Output::jsonLine(tracker("a", 2, 9))},
  };
  // The subscriber already there gets the same replays, marked, with the
  // numbers it has seen: it can tell them from new records.
  for (Subscriber* subscriber : {&late, &early}) {
    auto expected = current.begin();
    for (const Message& m : subscriber->take(current.size())) {
      ASSERT_TRUE(m.decoded);
      EXPECT_EQ(m.topic, expected->first);
      EXPECT_EQ(m.record.flags, stream::kFlagReplay);
      if (m.record.kind == stream::Kind::kStatus) {
        EXPECT_EQ(m.record.state, stream::DeviceState::kStreaming);
        EXPECT_EQ(m.record.sequence, 2u);
      } else {
        EXPECT_EQ(Output::jsonLine(fromStreamRecord(m.record)), expected->second);
        EXPECT_EQ(m.record.sequence, 10u);
      }
      ++expected;
    }
  }
  publisher->publish(tracker("a", 2, 10));
  endRead(*publisher, "a");
  for (Subscriber* subscriber : {&late, &early}) {
    Message m;
    ASSERT_TRUE(subscriber->receive(&m));
    EXPECT_EQ(m.topic, "a/tracker/2");
    EXPECT_EQ(m.record.flags, 0);
    EXPECT_EQ(m.record.sequence, 11u);
  }
  // Each replayed record goes once to every subscriber of its topic.
  EXPECT_EQ(publisher->counts().replayed, 1 + current.size());
}

TEST(Publisher, ASubscriberThatLeavesAndComesBackPicksUpWhereTheDevicesAre) {
  zmq::context_t context;
  auto publisher = startPublisher({"a"});
  ASSERT_TRUE(publisher);
  const std::string endpoint = publisher->endpoints()[0];
  {
    Subscriber first(context, endpoint);
    awaitJoined(first, 1);
    publisher->publish(tracker("a", 1, 0));
    endRead(*publisher, "a");
    ASSERT_EQ(first.take(2).size(), 2u);  // "streaming" and the record
    first.close();
  }
  // Nobody listens: the devices go on, nothing is counted as lost.
  for (int round = 1; round <= 100; ++round) {
    publisher->publish(tracker("a", 1, round));
    endRead(*publisher, "a");
  }
  awaitSent(*publisher, 2 + 101);
  Subscriber again(context, endpoint);
  const std::vector<Message> replay = again.take(2);
  ASSERT_EQ(replay.size(), 2u);
  EXPECT_EQ(replay[0].topic, "a/status");
  EXPECT_EQ(replay[1].topic, "a/tracker/1");
  EXPECT_EQ(replay[1].record.sequence, 101u);
  EXPECT_EQ(Output::jsonLine(fromStreamRecord(replay[1].record)),
            Output::jsonLine(tracker("a", 1, 100)));
  publisher->publish(tracker("a", 1, 101));
  endRead(*publisher, "a");
  Message live;
  ASSERT_TRUE(again.receive(&live));
  EXPECT_EQ(live.record.sequence, 102u);
  EXPECT_EQ(live.record.flags, 0);
  const Publisher::Counts counts = publisher->counts();
  EXPECT_EQ(counts.published, 2 + 102u);
  EXPECT_EQ(counts.subscriberOverflows + counts.droppedBeforeSending, 0u);
}

TEST(Publisher, AStalledSubscriberMissesRecordsAndNoOneElseDoes) {
  zmq::context_t context;
  const std::string endpoint = "ipc://" SCRATCH_DIR "/stalled.sock";
  auto publisher = startReading({"a"}, endpoint);
  ASSERT_TRUE(publisher);
  Subscriber stalled(context, endpoint, {""}, 1);
  awaitJoined(stalled, 1);  // and then it reads no more
  Subscriber reader(context, endpoint);
  awaitJoined(reader, 1);

  // The reader keeps up: each round of 32 trackers is read before the next
  // one is published, as at a high packet rate. The stalled subscriber's
  // queues fill up after a few thousand records.
  std::map<std::string, uint32_t> readerLast;
  auto publishRounds = [&](int first, int rounds) {
    std::atomic<int> read{0};
    std::atomic<bool> failed{false};
    std::thread readerThread([&] {
      for (int i = 0; i < rounds * 32; ++i) {
        Message m;
        if (!reader.receive(&m) || !m.decoded || m.record.sequence != ++readerLast[m.topic]) {
          failed = true;
          return;
        }
        ++read;
      }
    });
    for (int round = 0; round < rounds && !failed; ++round) {
      for (uint32_t id = 1; id <= 32; ++id) publisher->publish(tracker("a", id, first + round));
      endRead(*publisher, "a");
      while (read < (round + 1) * 32 && !failed) std::this_thread::yield();
    }
    readerThread.join();
    EXPECT_FALSE(failed) << "the reader lost or reordered records after " << read;
  };
  publishRounds(0, 1000);
  Publisher::Counts counts = publisher->counts();
  EXPECT_GT(counts.subscriberOverflows, 0u);
  EXPECT_EQ(counts.droppedBeforeSending, 0u);

  // The stalled one reads again: whole records, then the newest ones after
  // a gap of those it missed.
  uint64_t records = 0, gaps = 0;
  std::map<std::string, uint32_t> last;
  auto readStalled = [&] {
    for (Message m; stalled.receive(&m, std::chrono::milliseconds(300));) {
      ASSERT_TRUE(m.decoded);
      if (m.record.kind != stream::Kind::kTracker) continue;  // the reader's joining replay
      ++records;
      if (m.record.sequence > last[m.topic] + 1) ++gaps;
      last[m.topic] = m.record.sequence;
    }
  };
  readStalled();
  EXPECT_GT(records, 0u);
  EXPECT_LT(records, 1000 * 32u);
  EXPECT_EQ(gaps, 0u) << "what fitted into its queues came in order";
  publishRounds(1000, 1);
  readStalled();
  EXPECT_EQ(gaps, 32u);
  EXPECT_EQ(publisher->counts().subscriberOverflows, counts.subscriberOverflows);

  // Closing does not wait on a stalled subscriber; the reader gets "stopped".
  publishRounds(1001, 500);
  publisher->close();
  Message m;
  ASSERT_TRUE(reader.receive(&m));
  EXPECT_EQ(m.topic, "a/status");
  EXPECT_EQ(m.record.state, stream::DeviceState::kStopped);
}

TEST(Publisher, RefusesWhatItCannotPublish) {
  std::string error;
  PublishOptions options;
  EXPECT_FALSE(parsePublishOption("--publish", "udp://*:7700", &options, &error));
  EXPECT_EQ(error, "--publish takes a tcp:// or ipc:// endpoint, not 'udp://*:7700'");
  EXPECT_FALSE(parsePublishOption("--publish-format", "xml", &options, &error));
  EXPECT_EQ(error, "unknown publishing format 'xml' (binary or json)");
  EXPECT_FALSE(Publisher::start(options, {"a"}, &error));
  EXPECT_EQ(error, "--publish-format needs --publish ENDPOINT");

  ASSERT_TRUE(parsePublishOption("--publish", "tcp://127.0.0.1:*", &options, &error));
  for (const std::vector<std::string>& devices :
       {std::vector<std::string>{"a/b"}, {std::string(33, 'x')}, {""}}) {
    EXPECT_FALSE(Publisher::start(options, devices, &error));
    EXPECT_NE(error.find("a published device name has 1 to 32 bytes and no '/'"), std::string::npos)
        << error;
  }
  EXPECT_FALSE(Publisher::start(options, {"a", "b", "a"}, &error));
  EXPECT_EQ(error, "two devices are named \"a\": their records would share topics");

  auto first = Publisher::start(options, {"a"}, &error);
  ASSERT_TRUE(first) << error;
  options.endpoints = {first->endpoints()[0]};
  EXPECT_FALSE(Publisher::start(options, {"a"}, &error));
  EXPECT_EQ(error, "cannot publish on '" + first->endpoints()[0] + "': Address already in use");
  options.endpoints = {"ipc://" SCRATCH_DIR "/no-such-folder/x.sock"};
  EXPECT_FALSE(Publisher::start(options, {"a"}, &error));
  EXPECT_EQ(error.find("cannot publish on 'ipc://"), 0u) << error;
}

}  // namespace
