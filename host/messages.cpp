#include "host/messages.h"

#include "platform/process.h"

void Messages::info(const std::string& text) {
  if (!quiet_) emit(prefix_ + text);
}

void Messages::notice(const std::string& text) {
  emit(prefix_ + text);
}

void Messages::emit(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  if (table_ != nullptr) table_->message(line);
}

bool Messages::isProblemLine(const std::string& line) {
  // The host's loggers write "... NAME[THREAD]: LABEL: text".
  return line.find("]: ERROR: ") != std::string::npos ||
         line.find("]: WARNING: ") != std::string::npos;
}

std::FILE* Messages::captureDriverOutput() {
  std::FILE* records = platform::captureStdout(&readEnd_);
  if (records != nullptr) reader_ = std::thread([this] { readDriverOutput(); });
  return records;
}

void Messages::endCapture() {
  if (!reader_.joinable()) return;
  platform::releaseStdout();
  reader_.join();
  platform::closeCapturedStdout(readEnd_);
  readEnd_ = -1;
}

void Messages::readDriverOutput() {
  std::string pending;
  char buffer[4096];
  for (long got; (got = platform::readCapturedStdout(readEnd_, buffer, sizeof buffer)) > 0;) {
    pending.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!quiet_ || isProblemLine(line)) emit(line);
    }
  }
  if (!pending.empty() && (!quiet_ || isProblemLine(pending))) emit(pending);
}
