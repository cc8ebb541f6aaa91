// The figures mstar-sub keeps for every topic: records, rate, records lost
// (gaps in the sequence numbers), the longest silence between two records,
// and the latency from publication (the host's clock in the record) to
// receipt (this machine's clock).
#ifndef MOTIONSTAR_TOOLS_SUB_TOPIC_STATS_H
#define MOTIONSTAR_TOOLS_SUB_TOPIC_STATS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/sub/received_message.h"

class TopicStats {
 public:
  // Counts a record that arrived at nowUs (microseconds since 1970). False
  // when it repeats the topic's last record (a replay for another joiner),
  // which is not shown again.
  bool add(const std::string& topic, const Received& received, int64_t nowUs);
  // One line per topic. Live: rates since the previous live table;
  // otherwise over the whole run.
  std::string table(int64_t nowUs, bool live);
  uint64_t lost() const;

 private:
  struct Topic {
    uint64_t records = 0, lost = 0, repeats = 0;
    uint32_t lastSequence = 0;
    int64_t firstUs = 0, lastUs = 0, longestGapUs = 0;
    uint64_t recordsAtLastTable = 0;
    // The latest latencies (a ring), for the median and 99th percentile.
    std::vector<int64_t> latencies;
    size_t nextLatency = 0;
    int64_t maxLatencyUs = 0;
    bool hasLatency = false;
  };
  std::map<std::string, Topic> topics_;
  int64_t lastTableUs_ = 0;
};

#endif  // MOTIONSTAR_TOOLS_SUB_TOPIC_STATS_H
