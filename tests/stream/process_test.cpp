// mstar-host --publish, mstar-sub and the client examples run as a user
// runs them: as processes on an ipc endpoint, their output read line by line.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <zmq.hpp>

#include "e2e/harness.h"
#include "host/stream_records.h"
#include "platform/child_process.h"
#include "platform/process.h"

namespace {

namespace stream = motionstar::stream;

constexpr int32_t kWaitMs = 20000;

std::string writeFile(const std::string& name, const std::string& text) {
  const std::string path = std::string(SCRATCH_DIR) + "/" + name;
  std::ofstream(path) << text;
  return path;
}

// Lines of a program's merged output: the JSON objects, and the rest.
struct Lines {
  std::vector<std::string> records;  // tracker and controller objects
  std::vector<std::string> statuses;
  std::vector<std::string> other;

  void add(const std::string& line) {
    if (line.rfind("{", 0) != 0) {
      other.push_back(line);
    } else {
      (line.find("\"type\":\"status\"") != std::string::npos ? statuses : records).push_back(line);
    }
  }
  bool has(const std::string& text) const {
    for (const std::string& line : other) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

// Reads until a status line containing `text` came, or the output ended.
bool readUntilStatus(platform::ChildProcess& program, Lines* lines, const std::string& text) {
  for (std::string line; program.readLine(&line, kWaitMs);) {
    lines->add(line);
    if (!lines->statuses.empty() && lines->statuses.back().find(text) != std::string::npos) {
      return true;
    }
  }
  return false;
}

void readToEnd(platform::ChildProcess& program, Lines* lines) {
  for (std::string line; program.readLine(&line, kWaitMs);) lines->add(line);
}

TEST(StreamProcess, EveryPublicationOfASessionArrivesAsTheHostPrintsIt) {
  // A stream that moves only when the test emits packets: the subscribers
  // are in before the first record exists.
  sim::Config config;
  config.units = 4;
  config.enableUdp = false;
  config.wanda = true;
  for (int step = 0; step < 8; ++step) {
    config.wandScript.push_back(sim::Simulator::wandPacket(static_cast<int8_t>(step * 9 - 30),
                                                           static_cast<int8_t>(20 - step * 5),
                                                           step % 3 == 0, step % 2 == 0, -1));
  }
  config.loopWandScript = true;
  std::string address;
  auto simulator = e2e::startSimulator(config, &address);
  ASSERT_TRUE(simulator);
  constexpr int kPackets = 40;
  const std::string endpoint = "ipc://" SCRATCH_DIR "/session.sock";
  const std::string conf =
      writeFile("session.conf",
                "device live " MODULE_PATH " 3\nmotionstaraddress " + address + "\nwanda 1\n");

  platform::ChildProcess host, everything, one;
  ASSERT_TRUE(host.start({HOST_PATH, "-l", "quiet", "--format", "jsonl", "--packets",
                          std::to_string(kPackets), "--publish", endpoint, conf},
                         true));
  ASSERT_TRUE(everything.start({SUB_PATH, "--format", "jsonl", endpoint}, true));
  ASSERT_TRUE(one.start({SUB_PATH, "--format", "jsonl", "--topic", "live/tracker/2", "--topic",
                         "live/status", endpoint},
                        true));
  // On joining, each gets the device's status at once.
  Lines everythingLines, oneLines, hostLines;
  ASSERT_TRUE(readUntilStatus(everything, &everythingLines, "\"device\":\"live\""));
  ASSERT_TRUE(readUntilStatus(one, &oneLines, "\"device\":\"live\""));
  ASSERT_TRUE(simulator->waitForCommand(sim::kRunContinuous, 1, std::chrono::seconds(20)));
  int sent = 0;
  for (int tries = 0; sent < kPackets && tries < 1000; ++tries) {
    sent += simulator->emitPackets(kPackets - sent);
    if (sent < kPackets) platform::sleepMilliseconds(10);
  }
  ASSERT_EQ(sent, kPackets);
  readToEnd(host, &hostLines);
  EXPECT_EQ(host.wait(kWaitMs), 0);
  ASSERT_TRUE(readUntilStatus(everything, &everythingLines, "\"state\":\"stopped\""));
  ASSERT_TRUE(readUntilStatus(one, &oneLines, "\"state\":\"stopped\""));
  for (platform::ChildProcess* sub : {&everything, &one}) {
    sub->interrupt();
    EXPECT_EQ(sub->wait(kWaitMs), 0);
  }
  readToEnd(everything, &everythingLines);
  readToEnd(one, &oneLines);

  // Every record the host printed, in the same order, the same text.
  ASSERT_GE(hostLines.records.size(), static_cast<size_t>(3 * kPackets / 2));
  EXPECT_EQ(everythingLines.records, hostLines.records);
  std::vector<std::string> trackerTwo;
  for (const std::string& line : hostLines.records) {
    if (line.find("\"type\":\"tracker\",\"id\":2,") != std::string::npos)
      trackerTwo.push_back(line);
  }
  EXPECT_GE(trackerTwo.size(), static_cast<size_t>(kPackets / 2));
  EXPECT_EQ(oneLines.records, trackerTwo);
  bool wand = false;
  for (const std::string& line : hostLines.records) {
    wand = wand || line.find("\"type\":\"controller\"") != std::string::npos;
  }
  EXPECT_TRUE(wand) << "the session published no wand state";

  // The states seen: the last is "stopped", after every packet.
  EXPECT_NE(everythingLines.statuses.back().find("\"packets\":" + std::to_string(kPackets)),
            std::string::npos)
      << everythingLines.statuses.back();
  EXPECT_TRUE(hostLines.has("mstar-host: published "));
  EXPECT_TRUE(hostLines.has("0 subscriber queue overflows, 0 records dropped before sending"));
  EXPECT_TRUE(everythingLines.has(" 0 lost, 0 messages skipped"));
}

TEST(StreamProcess, MalformedAndForeignMessagesAreReportedAndSkipped) {
  zmq::context_t context;
  zmq::socket_t publisher(context, zmq::socket_type::pub);
  const std::string endpoint = "ipc://" SCRATCH_DIR "/foreign.sock";
  publisher.bind(endpoint);
  platform::ChildProcess sub;
  ASSERT_TRUE(sub.start({SUB_PATH, "--format", "jsonl", "--count", "3", endpoint}, true));

  Publication pose;
  pose.device = "cave";
  pose.id = 1;
  pose.pose[0] = 2.5;
  stream::Record record;
  ASSERT_TRUE(toStreamRecord(pose, &record));
  uint8_t bytes[stream::kMaxRecordSize];
  const std::string good(reinterpret_cast<char*>(bytes),
                         stream::encode(record, bytes, sizeof bytes));
  const std::vector<std::vector<std::string>> batch = {
      {"hello"},
      {"cave/tracker/1", good, "third"},
      {"cave/tracker/1", good.substr(0, 70)},
      {"cave/tracker/1", std::string(112, '\xff')},
      {"cave/tracker/2", good},
      {"cave/tracker/1", "{\"type\":\"tracker\""},
      {"cave/tracker/1", good},
  };
  // A new subscriber's first messages may be lost before it is connected:
  // batches go out until it has shown its three records.
  Lines lines;
  bool ended = false;
  for (int round = 0; round < 400 && !ended; ++round) {
    for (const auto& message : batch) {
      for (size_t i = 0; i < message.size(); ++i) {
        publisher.send(zmq::buffer(message[i]),
                       i + 1 < message.size() ? zmq::send_flags::sndmore : zmq::send_flags::none);
      }
    }
    for (std::string line; !ended && sub.readLine(&line, 50);) {
      lines.add(line);
      ended = line.find("records shown") != std::string::npos;
    }
  }
  readToEnd(sub, &lines);
  EXPECT_EQ(sub.wait(kWaitMs), 0);
  ASSERT_EQ(lines.records.size(), 3u);
  EXPECT_EQ(lines.records[0], Output::jsonLine(fromStreamRecord(record)));
  for (const char* reason :
       {"skipped a message on 'hello': a message of 1 frames, not a topic and a record",
        "a message of 3 frames", "not a record: not the size of a record of its kind",
        "not a record: a record version this decoder does not read",
        "skipped a message on 'cave/tracker/2': a record of cave/tracker/1 under another topic",
        "not a JSON record: "}) {
    EXPECT_TRUE(lines.has(reason)) << reason;
  }
  EXPECT_TRUE(lines.has("mstar-sub: 3 records shown, 0 lost, "));
}

// Runs a client example against a host on the simulator: it must print 40
// lines of poses, wand states and statuses in its own format.
void runExampleAgainstAHost(std::vector<std::string> client) {
  // One socket per test: ctest may run both examples at once.
  const std::string endpoint =
      "ipc://" SCRATCH_DIR "/" +
      std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + ".sock";
  // Nobody reads the host's own records here: a full pipe would hold its
  // device thread.
  platform::ChildProcess host;
  ASSERT_TRUE(host.start({"/bin/sh", "-c",
                          "exec \"$0\" --simulate --rate 200 -l quiet --format jsonl --publish "
                          "\"$1\" \"$2\" >/dev/null",
                          HOST_PATH, endpoint, EXAMPLES_DIR "/eight-trackers-wanda-udp.conf"},
                         false));
  client.insert(client.end(), {endpoint, "cave/", "40"});
  platform::ChildProcess program;
  ASSERT_TRUE(program.start(client, true));
  std::vector<std::string> lines;
  for (std::string line; program.readLine(&line, kWaitMs);) lines.push_back(line);
  EXPECT_EQ(program.wait(kWaitMs), 0);
  host.interrupt();
  EXPECT_EQ(host.wait(kWaitMs), 0);
  ASSERT_EQ(lines.size(), 40u);
  static const std::regex tracker(
      "cave/tracker/[1-8] #[0-9]+ x -?[0-9]+\\.[0-9]{5} y .* roll -?[0-9]+\\.[0-9]{5} ?.*");
  static const std::regex wand("cave/controller/1 #[0-9]+ valuators .* buttons .*");
  static const std::regex status("cave/status #[0-9]+ (starting|streaming), 0 dropouts, .*");
  int trackers = 0;
  for (const std::string& line : lines) {
    if (std::regex_match(line, tracker)) {
      ++trackers;
    } else if (!std::regex_match(line, wand)) {
      EXPECT_TRUE(std::regex_match(line, status)) << line;
    }
  }
  EXPECT_GE(trackers, 20);
}

TEST(StreamProcess, TheCppExamplePrintsAHostsStream) {
  runExampleAgainstAHost({EXAMPLE_PATH});
}

TEST(StreamProcess, ThePythonExamplePrintsAHostsStream) {
  platform::ChildProcess python;
  ASSERT_TRUE(python.start({"/usr/bin/python3", "-c", "import zmq"}, true));
  if (python.wait(kWaitMs) != 0) GTEST_SKIP() << "python3-zmq is not installed";
  runExampleAgainstAHost({"/usr/bin/python3", EXAMPLES_DIR "/subscriber.py"});
}

TEST(StreamProcess, HostRefusesPublishingItCannotDo) {
  const std::string conf = writeFile("one.conf", "device one " MODULE_PATH " 1\n");
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"--publish", "pgm://eth0;239.1.1.1:7700", conf},
       "mstar-host: --publish takes a tcp:// or ipc:// endpoint, not 'pgm://eth0;239.1.1.1:7700'"},
      {{"--publish-format", "json", conf}, "mstar-host: --publish-format needs --publish ENDPOINT"},
      {{"--publish", "ipc://" SCRATCH_DIR "/missing/x.sock", conf},
       "mstar-host: cannot publish on 'ipc://" SCRATCH_DIR
       "/missing/x.sock': No such file or directory"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> command = {HOST_PATH};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    platform::ChildProcess host;
    ASSERT_TRUE(host.start(command, true));
    std::string line;
    ASSERT_TRUE(host.readLine(&line, kWaitMs));
    EXPECT_EQ(line, c.message);
    EXPECT_EQ(host.wait(kWaitMs), 2);
  }
}

}  // namespace
