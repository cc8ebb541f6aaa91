// The publishing options, and what stands in for the publisher when the
// build has no ZeroMQ.
#include <cstring>

#include "host/publisher.h"

#ifndef MOTIONSTAR_HAVE_ZMQ
#define MOTIONSTAR_HAVE_ZMQ 0
#endif

namespace {

const char kNotBuiltIn[] =
    "publishing is not available: this mstar-host was built without ZeroMQ (libzmq3-dev, "
    "cppzmq-dev)";

}  // namespace

bool publishingBuiltIn() {
  return MOTIONSTAR_HAVE_ZMQ != 0;
}

bool parsePublishOption(const std::string& option, const char* value, PublishOptions* options,
                        std::string* error) {
  if (!publishingBuiltIn()) {
    *error = option + ": " + kNotBuiltIn;
    return false;
  }
  if (option == "--publish") {
    if (std::strncmp(value, "tcp://", 6) != 0 && std::strncmp(value, "ipc://", 6) != 0) {
      *error = std::string("--publish takes a tcp:// or ipc:// endpoint, not '") + value + "'";
      return false;
    }
    options->endpoints.push_back(value);
    return true;
  }
  options->formatGiven = true;
  if (std::strcmp(value, "binary") == 0 || std::strcmp(value, "json") == 0) {
    options->json = value[0] == 'j';
    return true;
  }
  *error = std::string("unknown publishing format '") + value + "' (binary or json)";
  return false;
}

const char* publishUsage() {
  if (!publishingBuiltIn()) {
    return "\n"
           "Publishing to render nodes (--publish, --publish-format) is not available:\n"
           "this mstar-host was built without ZeroMQ (libzmq3-dev, cppzmq-dev).\n";
  }
  return "\n"
         "Publishing to render nodes (ZeroMQ):\n"
         "      --publish ENDPOINT  send every record to subscribers on ENDPOINT\n"
         "                          (tcp://*:7700, tcp://192.168.1.5:7700,\n"
         "                          ipc:///run/mstar.sock); repeatable. Topics:\n"
         "                          DEVICE/tracker/ID, DEVICE/controller/ID, DEVICE/status\n"
         "      --publish-format F  binary (the records of motionstar/stream.h; the\n"
         "                          default) or json (the objects of --format jsonl)\n"
         "A subscriber that joins gets the last record of every topic at once. One\n"
         "that falls 1000 messages behind misses records until it catches up; the\n"
         "host counts such overflows, the subscriber sees the gap in the numbers.\n";
}

#if !MOTIONSTAR_HAVE_ZMQ
std::unique_ptr<Publisher> Publisher::start(const PublishOptions&, const std::vector<std::string>&,
                                            std::string* error) {
  *error = kNotBuiltIn;
  return nullptr;
}
#endif
