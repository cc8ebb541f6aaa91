// Publishing the host's records to render nodes over ZeroMQ (mstar-host
// --publish). The records and topics are those of motionstar/stream.h.
//
// Late joiners: the publisher keeps the last record of every topic and
// replays the ones a new subscription matches as soon as it arrives (an
// XPUB socket that passes every subscription up, with a last-value cache:
// the ZeroMQ guide's "Last Value Caching"). Plain SUB clients get the
// current state without a second socket or request. The replay goes to
// every subscriber of those topics; it is flagged as a replay and repeats
// the original's sequence number, so a client that has the record already
// can tell.
//
// A device's records leave together at the end of each read, when its
// counters come in (deviceStats), handed to the publishing thread that owns
// the socket.
//
// Slow subscribers: neither the device threads nor the publishing thread
// ever wait for a subscriber. A subscriber whose queue is full (ZeroMQ's
// high-water mark, 1000 messages) misses what does not fit, and only that
// subscriber, until it has caught up; it sees the gap in the sequence
// numbers. The publisher counts every such overflow.
#ifndef MOTIONSTAR_HOST_PUBLISHER_H
#define MOTIONSTAR_HOST_PUBLISHER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/publication_sink.h"
#include "motionstar/stream.h"

struct PublishOptions {
  std::vector<std::string> endpoints;  // --publish, in the order given
  bool json = false;                   // --publish-format json
  bool formatGiven = false;

  bool requested() const { return !endpoints.empty() || formatGiven; }
};

// Whether this build can publish (it was built with ZeroMQ).
bool publishingBuiltIn();
// Reads one --publish ENDPOINT or --publish-format FORMAT (`option` names
// which); false with *error for a bad value, or when publishing is not built in.
bool parsePublishOption(const std::string& option, const char* value, PublishOptions* options,
                        std::string* error);
// The help text of the publishing options, saying whether they are built in.
const char* publishUsage();

class Publisher : public PublicationSink {
 public:
  struct Counts {
    uint64_t published = 0;  // records handed to ZeroMQ, replays not included
    uint64_t replayed = 0;   // records replayed to subscribers that joined
    // Times a subscriber's queue was full: from then until it catches up,
    // that subscriber misses records.
    uint64_t subscriberOverflows = 0;
    // Records not sent at all: the publishing thread was 500 reads behind,
    // they came after close(), or not from a device of the file.
    uint64_t droppedBeforeSending = 0;
  };

  // Binds every endpoint and starts publishing the records of `devices`,
  // each announced with a "starting" status. Null, and *error saying why,
  // when the options are incomplete, a device name cannot be a topic or an
  // endpoint cannot be bound.
  static std::unique_ptr<Publisher> start(const PublishOptions& options,
                                          const std::vector<std::string>& devices,
                                          std::string* error);

  // A device's state changed: publishes its status record.
  virtual void deviceState(const std::string& device, motionstar::stream::DeviceState state,
                           uint32_t dropouts, uint32_t recoveries) = 0;
  // Publishes "stopped" for every device and closes the socket, waiting at
  // most a short linger for subscribers to take the last records.
  // Publications after this are dropped.
  virtual void close() = 0;
  // The endpoints as bound (a wildcard port resolved).
  virtual std::vector<std::string> endpoints() const = 0;
  virtual Counts counts() const = 0;
};

#endif  // MOTIONSTAR_HOST_PUBLISHER_H
