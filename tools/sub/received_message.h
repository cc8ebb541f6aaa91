// What one message on mstar-sub's socket turned out to be: a record of
// mstar-host (binary or JSON), a device status, or something to skip, with
// the reason.
#ifndef MOTIONSTAR_TOOLS_SUB_RECEIVED_MESSAGE_H
#define MOTIONSTAR_TOOLS_SUB_RECEIVED_MESSAGE_H

#include <string>
#include <string_view>

#include "host/output.h"
#include "motionstar/stream.h"

struct Received {
  enum Kind { kRecord, kStatus, kSkipped };
  Kind kind = kSkipped;
  bool binary = false;                // a stream record: sequence and publication time are known
  Publication publication;            // kRecord
  motionstar::stream::Record record;  // binary records and every status
  std::string reason;                 // kSkipped
};

// Reads a message of `frames` frames whose first two are `topic` and
// `payload`. A record must arrive under its own topic.
Received interpretMessage(size_t frames, std::string_view topic, std::string_view payload);

#endif  // MOTIONSTAR_TOOLS_SUB_RECEIVED_MESSAGE_H
