// What the host publishes, as the stream records of motionstar/stream.h and
// as JSON objects: the conversions both mstar-host and mstar-sub use.
#ifndef MOTIONSTAR_HOST_STREAM_RECORDS_H
#define MOTIONSTAR_HOST_STREAM_RECORDS_H

#include <string>

#include "host/output.h"
#include "motionstar/stream.h"

// The stream record of a tracker or controller publication, without
// publication time and sequence number; false when the device name is
// longer than a record holds.
bool toStreamRecord(const Publication& publication, motionstar::stream::Record* record);
// A tracker or controller record as the host decoded it from its storage.
Publication fromStreamRecord(const motionstar::stream::Record& record);

// "<device>/tracker/<id>", "<device>/controller/<id>".
std::string topicOf(const Publication& publication);

// The JSON object of a status record, in the style of Output::jsonLine:
// {"time":…,"device":"cave","type":"status","state":"streaming",
//  "dropouts":0,"recoveries":0,"packets":120,"failures":0}
std::string statusJson(const motionstar::stream::Record& status);

#endif  // MOTIONSTAR_HOST_STREAM_RECORDS_H
