// The words of a command line after the command's name, taken in order, and
// the few value formats the commands read. A fault sets a message for the
// usage error the command reports.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_ARGUMENTS_H
#define MOTIONSTAR_TOOLS_CALIBRATE_ARGUMENTS_H

#include <string>
#include <vector>

namespace calibrate {

class Arguments {
 public:
  explicit Arguments(std::vector<std::string> words) : words_(std::move(words)) {}

  bool done() const { return next_ >= words_.size(); }
  const std::string& take() { return words_[next_++]; }
  // The value after option; false (with the message) when there is none.
  bool valueOf(const std::string& option, std::string* value);
  // Numbers separated by commas, exactly count of them, all finite.
  bool numbers(const std::string& option, const std::string& text, size_t count, double* values);
  // Whole numbers separated by commas, exactly count of them, each within
  // low .. high.
  bool wholes(const std::string& option, const std::string& text, size_t count, long low, long high,
              long* values);
  bool whole(const std::string& option, const std::string& text, long low, long high, long* value) {
    return wholes(option, text, 1, low, high, value);
  }

  const std::string& error() const { return error_; }
  bool fail(const std::string& message) {
    error_ = message;
    return false;
  }

 private:
  std::vector<std::string> words_;
  size_t next_ = 0;
  std::string error_;
};

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_ARGUMENTS_H
