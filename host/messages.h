// The lines a user reads beside the records: the host's own, and what the
// driver writes to standard output. Both go to standard error, whole lines
// at a time, and under the live table; standard output carries nothing but
// records. `-l quiet` lets through only real problems: the host's warnings
// and errors and the driver's ERROR and WARNING lines.
#ifndef MOTIONSTAR_HOST_MESSAGES_H
#define MOTIONSTAR_HOST_MESSAGES_H

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "host/output.h"

class Messages {
 public:
  // Lines start with `program` and a colon.
  explicit Messages(bool quiet, std::string program = "mstar-host")
      : quiet_(quiet), prefix_(std::move(program) + ": ") {}
  ~Messages() { endCapture(); }
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;

  // The table also shows every line that gets through.
  void showIn(Output* table) { table_ = table; }
  // "mstar-host: " and the text. Info lines are left out when quiet;
  // notices (warnings, errors, the stop) are always shown.
  void info(const std::string& text);
  void notice(const std::string& text);

  // Points standard output at a pipe that a thread of its own reads line by
  // line; returns a stream on the original standard output for the records,
  // or null when that cannot be done (nothing changed then).
  std::FILE* captureDriverOutput();
  // Ends the pipe once everything written to it was read.
  void endCapture();

  // A logger line of the ERROR or WARNING level.
  static bool isProblemLine(const std::string& line);

 private:
  void emit(const std::string& line);
  void readDriverOutput();

  bool quiet_;
  const std::string prefix_;
  Output* table_ = nullptr;
  std::mutex mutex_;
  intptr_t readEnd_ = -1;
  std::thread reader_;
};

#endif  // MOTIONSTAR_HOST_MESSAGES_H
