// mstar-sub: subscribes to what an mstar-host publishes (--publish) and
// shows it as mstar-host does, with each topic's rate, lost records, longest
// gap and latency.
#include <getopt.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include <zmq.hpp>

#include "host/output.h"
#include "host/stream_records.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "tools/sub/received_message.h"
#include "tools/sub/topic_stats.h"

namespace {

constexpr int kExitClean = 0;
constexpr int kExitUsage = 2;
// Skipped messages reported one by one; after that only counted.
constexpr uint64_t kSkipReports = 20;
// Nothing mstar-host sends comes near this; a peer that sends more is cut off.
constexpr int64_t kMaxMessageBytes = 64 * 1024;

const char kUsage[] =
    "Usage: mstar-sub [OPTION]... ENDPOINT\n"
    "Shows the records an mstar-host publishes on ENDPOINT (its --publish, e.g.\n"
    "tcp://render-host:7700 or ipc:///run/mstar.sock) the way mstar-host shows\n"
    "them, and measures each topic: records per second, records lost (gaps in\n"
    "the sequence numbers), the longest gap between two records, and the latency\n"
    "from publication to receipt.\n"
    "\n"
    "  -t, --topic PREFIX      only topics that start with PREFIX (cave/,\n"
    "                          cave/tracker/1, which also takes 10 to 19, ...);\n"
    "                          repeatable; every topic by default\n"
    "  -f, --format FORMAT     table (live, in place; the default on a terminal),\n"
    "                          jsonl (the default otherwise) or csv\n"
    "  -n, --count N           stop after N records (statuses included)\n"
    "  -d, --duration SECONDS  stop after this many seconds\n"
    "  -h, --help              show this help and exit\n"
    "\n"
    "On joining, the host sends the last record of every topic at once. Device\n"
    "statuses show in the table and as {\"type\":\"status\",...} objects in jsonl;\n"
    "csv leaves them out. Messages that are not mstar-host's records are reported\n"
    "on standard error and skipped. At the end the figures of every topic go to\n"
    "standard error. Latency compares the host's clock with this one: across\n"
    "machines keep both synchronised (NTP, PTP).\n"
    "\n"
    "Exit status: 0 clean stop, 2 usage error or an endpoint ZeroMQ refuses.\n";

struct Options {
  std::string endpoint;
  std::vector<std::string> topics;
  bool formatGiven = false;
  Format format = Format::kTable;
  uint64_t count = 0;
  double duration = 0;
};

int usageError(const std::string& what) {
  std::fprintf(stderr, "mstar-sub: %s\nTry 'mstar-sub --help' for more information.\n",
               what.c_str());
  return kExitUsage;
}

// Returns -1 when the options are good, else the exit code.
int parseOptions(int argc, char** argv, Options* options) {
  static const option kLong[] = {
      {"topic", required_argument, nullptr, 't'}, {"format", required_argument, nullptr, 'f'},
      {"count", required_argument, nullptr, 'n'}, {"duration", required_argument, nullptr, 'd'},
      {"help", no_argument, nullptr, 'h'},        {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":t:f:n:d:h", kLong, nullptr)) != -1;) {
    char* end = nullptr;
    switch (c) {
      case 't':
        options->topics.push_back(optarg);
        break;
      case 'f':
        options->formatGiven = true;
        if (!parseFormat(optarg, &options->format)) {
          return usageError(std::string("unknown format '") + optarg + "' (table, jsonl or csv)");
        }
        break;
      case 'n': {
        const long long count = std::strtoll(optarg, &end, 10);
        if (end == optarg || *end != '\0' || count <= 0) {
          return usageError("--count takes a whole number above 0");
        }
        options->count = static_cast<uint64_t>(count);
        break;
      }
      case 'd':
        options->duration = std::strtod(optarg, &end);
        if (end == optarg || *end != '\0' || !(options->duration > 0)) {
          return usageError("--duration takes a number of seconds above 0");
        }
        break;
      case 'h':
        std::fputs(kUsage, stdout);
        return kExitClean;
      case ':':
        return usageError(std::string("option '") + argv[optind - 1] + "' needs an argument");
      default:
        return usageError(std::string("unknown option '") + argv[optind - 1] + "'");
    }
  }
  if (optind != argc - 1) {
    return usageError(optind == argc ? "no endpoint given" : "more than one endpoint given");
  }
  options->endpoint = argv[optind];
  if (options->topics.empty()) options->topics.push_back("");
  return -1;
}

int64_t nowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A topic from an unknown sender, fit for one line of a terminal.
std::string printable(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 64)) {
    out += (c >= 0x20 && c < 0x7f) ? c : '?';
  }
  return text.size() > 64 ? out + "..." : out;
}

class Subscriber {
 public:
  Subscriber(const Options& options, Output& output, Format format, std::FILE* records)
      : options_(options), output_(output), format_(format), records_(records) {}

  // Connects and subscribes; false (with *error) when ZeroMQ refuses.
  bool connect(std::string* error) {
    try {
      socket_.set(zmq::sockopt::maxmsgsize, kMaxMessageBytes);
      socket_.connect(options_.endpoint);
      for (const std::string& topic : options_.topics) socket_.set(zmq::sockopt::subscribe, topic);
    } catch (const zmq::error_t& e) {
      *error = "cannot subscribe at '" + options_.endpoint + "': " + e.what();
      return false;
    }
    return true;
  }

  void run() {
    const int64_t started = platform::monotonicMilliseconds();
    int64_t lastRender = 0;
    zmq::pollitem_t item{socket_.handle(), 0, ZMQ_POLLIN, 0};
    while (!platform::stopRequested() && (options_.count == 0 || shown_ < options_.count)) {
      const int64_t now = platform::monotonicMilliseconds();
      if (options_.duration > 0 && now - started >= options_.duration * 1000) break;
      if (format_ == Format::kTable && now - lastRender >= 250) {
        output_.render(nowMicroseconds() / 1e6, footer());
        lastRender = now;
      }
      zmq::poll(&item, 1, std::chrono::milliseconds(50));
      while ((options_.count == 0 || shown_ < options_.count) && receiveOne()) {
      }
    }
    if (format_ == Format::kTable) output_.render(nowMicroseconds() / 1e6, footer());
  }

  void printSummary() {
    std::fprintf(stderr, "%s", stats_.table(nowMicroseconds(), false).c_str());
    std::fprintf(stderr,
                 "mstar-sub: %" PRIu64 " records shown, %" PRIu64 " lost, %" PRIu64
                 " messages skipped\n",
                 shown_, stats_.lost(), skipped_);
  }

 private:
  // Takes one message if one is waiting; false when none is.
  bool receiveOne() {
    zmq::message_t topic, payload, extra;
    if (!socket_.recv(topic, zmq::recv_flags::dontwait)) return false;
    size_t frames = 1;
    if (topic.more()) {
      (void)socket_.recv(payload);
      ++frames;
    }
    for (bool more = payload.more(); more; more = extra.more(), ++frames) {
      (void)socket_.recv(extra);
    }
    const std::string_view topicText(topic.data<char>(), topic.size());
    const Received received =
        interpretMessage(frames, topicText, {payload.data<char>(), payload.size()});
    if (received.kind == Received::kSkipped) {
      if (++skipped_ <= kSkipReports) {
        std::fprintf(stderr, "mstar-sub: skipped a message on '%s': %s\n",
                     printable(topicText).c_str(), received.reason.c_str());
        if (skipped_ == kSkipReports) {
          std::fprintf(stderr, "mstar-sub: further skipped messages are only counted\n");
        }
      }
      return true;
    }
    if (!stats_.add(std::string(topicText), received, nowMicroseconds())) return true;
    ++shown_;
    if (received.kind == Received::kRecord) {
      output_.publish(received.publication);
    } else {
      statuses_[received.record.device] = received.record;
      if (format_ == Format::kJsonl) {
        std::fprintf(records_, "%s\n", statusJson(received.record).c_str());
        std::fflush(records_);
      }
    }
    return true;
  }

  std::string footer() {
    std::string text = stats_.table(nowMicroseconds(), true);
    char line[256];
    for (const auto& [device, s] : statuses_) {
      std::snprintf(line, sizeof line,
                    "%s: %s, %" PRIu64 " packets, %" PRIu64 " failures, %" PRIu32
                    " dropouts, %" PRIu32 " recoveries\n",
                    device.c_str(), motionstar::stream::stateName(s.state), s.packets, s.failures,
                    s.dropouts, s.recoveries);
      text += line;
    }
    if (skipped_ > 0) text += std::to_string(skipped_) + " messages skipped\n";
    return text;
  }

  const Options& options_;
  Output& output_;
  Format format_;
  std::FILE* records_;
  zmq::context_t context_{1};
  zmq::socket_t socket_{context_, zmq::socket_type::sub};
  TopicStats stats_;
  std::map<std::string, motionstar::stream::Record> statuses_;
  uint64_t shown_ = 0, skipped_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int status = parseOptions(argc, argv, &options);
  if (status >= 0) return status;
  // Before ZeroMQ starts its threads, so that they leave Ctrl-C to us.
  platform::installStopSignals();

  const Format format = options.formatGiven            ? options.format
                        : platform::stdoutIsTerminal() ? Format::kTable
                                                       : Format::kJsonl;
  Output output(format, stdout);
  output.setTitle("mstar-sub  " + options.endpoint + "  (Ctrl-C exits)");
  Subscriber subscriber(options, output, format, stdout);
  std::string error;
  if (!subscriber.connect(&error)) {
    std::fprintf(stderr, "mstar-sub: %s\n", error.c_str());
    return kExitUsage;
  }
  subscriber.run();
  subscriber.printSummary();
  return kExitClean;
}
