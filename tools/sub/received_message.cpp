#include "tools/sub/received_message.h"

#include "host/stream_records.h"
#include "tools/sub/json_record.h"

namespace stream = motionstar::stream;

namespace {

Received skipped(const std::string& reason) {
  Received r;
  r.reason = reason;
  return r;
}

}  // namespace

Received interpretMessage(size_t frames, std::string_view topic, std::string_view payload) {
  if (frames != 2) {
    return skipped("a message of " + std::to_string(frames) + " frames, not a topic and a record");
  }
  if (payload.empty()) return skipped("an empty record");
  Received r;
  std::string recordTopic;
  if (payload[0] == '{') {
    JsonRecord json;
    std::string error;
    if (!parseJsonRecord(payload, &json, &error)) return skipped("not a JSON record: " + error);
    if (json.status) {
      r.kind = Received::kStatus;
      r.record = json.record;
      recordTopic = stream::topicOf(r.record);
    } else {
      r.kind = Received::kRecord;
      r.publication = json.publication;
      recordTopic = topicOf(r.publication);
    }
  } else {
    const auto error =
        stream::decode(reinterpret_cast<const uint8_t*>(payload.data()), payload.size(), &r.record);
    if (error != stream::DecodeError::kNone) {
      return skipped(std::string("not a record: ") + stream::describe(error));
    }
    r.binary = true;
    if (r.record.kind == stream::Kind::kStatus) {
      r.kind = Received::kStatus;
    } else {
      r.kind = Received::kRecord;
      r.publication = fromStreamRecord(r.record);
    }
    recordTopic = stream::topicOf(r.record);
  }
  if (recordTopic != topic) return skipped("a record of " + recordTopic + " under another topic");
  return r;
}
