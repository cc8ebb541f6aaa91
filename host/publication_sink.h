// Where the host's publications go besides its own output: the publisher
// that sends them to render nodes. Output hands every publication to a sink
// before it prints it.
#ifndef MOTIONSTAR_HOST_PUBLICATION_SINK_H
#define MOTIONSTAR_HOST_PUBLICATION_SINK_H

#include <cstdint>
#include <string>

#include "host/output.h"

class PublicationSink {
 public:
  virtual ~PublicationSink() = default;
  // Called on the device's reading thread; never waits for a reader.
  virtual void publish(const Publication& publication) = 0;
  // The device's counters after each read, on its reading thread: the
  // read's publications are complete and may leave together.
  virtual void deviceStats(const std::string& device, uint64_t packets, uint64_t failures) = 0;
  // One line for the live table and the end of the run.
  virtual std::string summary() = 0;
};

#endif  // MOTIONSTAR_HOST_PUBLICATION_SINK_H
