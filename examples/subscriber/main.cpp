// A render node's view of mstar-host --publish: subscribes, decodes every
// record with motionstar/stream.h and prints it.
//
//   subscriber ENDPOINT [TOPIC_PREFIX [COUNT]]
//   subscriber tcp://tracking-host:7700 cave/tracker/
#include <zmq.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "motionstar/stream.h"

namespace stream = motionstar::stream;

// Whether the message being read has another frame.
static bool more(void* socket) {
  int more = 0;
  size_t size = sizeof more;
  return zmq_getsockopt(socket, ZMQ_RCVMORE, &more, &size) == 0 && more != 0;
}

static void print(const char* topic, const stream::Record& r) {
  std::printf("%s #%u", topic, r.sequence);
  if (r.kind == stream::Kind::kTracker) {
    std::printf(" x %.5f y %.5f z %.5f azimuth %.5f elevation %.5f roll %.5f", r.pose[0], r.pose[1],
                r.pose[2], r.pose[3], r.pose[4], r.pose[5]);
  } else if (r.kind == stream::Kind::kController) {
    std::printf(" valuators");
    for (int i = 0; i < r.valuatorCount; ++i) std::printf(" %.3f", r.valuators[i]);
    std::printf(" buttons ");
    for (int b = 0; b < r.buttonCount; ++b) std::printf("%u", (r.buttons >> b) & 1u);
  } else {
    std::printf(" %s, %u dropouts, %u recoveries", stream::stateName(r.state), r.dropouts,
                r.recoveries);
  }
  std::printf("%s\n", (r.flags & stream::kFlagReplay) ? " (last value on joining)" : "");
  std::fflush(stdout);
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: subscriber ENDPOINT [TOPIC_PREFIX [COUNT]]\n");
    return 2;
  }
  const char* prefix = argc > 2 ? argv[2] : "";
  const long count = argc > 3 ? std::atol(argv[3]) : -1;
  void* context = zmq_ctx_new();
  void* socket = zmq_socket(context, ZMQ_SUB);
  if (zmq_connect(socket, argv[1]) != 0) {
    std::fprintf(stderr, "subscriber: %s: %s\n", argv[1], zmq_strerror(zmq_errno()));
    return 1;
  }
  zmq_setsockopt(socket, ZMQ_SUBSCRIBE, prefix, std::strlen(prefix));

  for (long shown = 0; count < 0 || shown < count;) {
    char topic[256];
    uint8_t record[stream::kMaxRecordSize];
    const int topicSize = zmq_recv(socket, topic, sizeof topic - 1, 0);
    if (topicSize < 0) break;
    const int size = more(socket) ? zmq_recv(socket, record, sizeof record, 0) : -1;
    while (more(socket)) zmq_recv(socket, record, 0, 0);  // not ours: drop the rest
    stream::Record r;
    // zmq_recv reports a longer message's whole size: such a message is not a record.
    if (size < 0 || size > static_cast<int>(sizeof record) ||
        stream::decode(record, static_cast<size_t>(size), &r) != stream::DecodeError::kNone) {
      continue;
    }
    topic[topicSize < static_cast<int>(sizeof topic) ? topicSize : sizeof topic - 1] = '\0';
    print(topic, r);
    ++shown;
  }
  zmq_close(socket);
  zmq_ctx_term(context);
  return 0;
}
