// Reads back the JSON objects mstar-host writes (--format jsonl, and
// --publish-format json): a tracker, a controller or a device status.
#ifndef MOTIONSTAR_TOOLS_SUB_JSON_RECORD_H
#define MOTIONSTAR_TOOLS_SUB_JSON_RECORD_H

#include <string>
#include <string_view>

#include "host/output.h"
#include "motionstar/stream.h"

struct JsonRecord {
  bool status = false;
  Publication publication;            // a tracker or controller
  motionstar::stream::Record record;  // a status: kind, device, state, counts, time stamp
};

// False, with *error saying why, when `text` is not one such object.
bool parseJsonRecord(std::string_view text, JsonRecord* out, std::string* error);

#endif  // MOTIONSTAR_TOOLS_SUB_JSON_RECORD_H
