#include "tools/calibrate/arguments.h"

#include <cmath>
#include <cstdlib>

namespace calibrate {

bool Arguments::valueOf(const std::string& option, std::string* value) {
  if (done()) return fail(option + " needs a value");
  *value = take();
  return true;
}

namespace {

// The count parts of text between commas; false when there are more or fewer.
bool split(const std::string& text, size_t count, std::vector<std::string>* parts) {
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    parts->push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return parts->size() == count;
    start = comma + 1;
  }
}

}  // namespace

bool Arguments::numbers(const std::string& option, const std::string& text, size_t count,
                        double* values) {
  std::vector<std::string> parts;
  bool good = split(text, count, &parts);
  for (size_t i = 0; good && i < count; ++i) {
    char* end = nullptr;
    values[i] = std::strtod(parts[i].c_str(), &end);
    good = !parts[i].empty() && *end == '\0' && std::isfinite(values[i]);
  }
  if (good) return true;
  return fail(option + " takes " + std::to_string(count) + " numbers separated by commas, not \"" +
              text + "\"");
}

bool Arguments::wholes(const std::string& option, const std::string& text, size_t count, long low,
                       long high, long* values) {
  std::vector<std::string> parts;
  bool good = split(text, count, &parts);
  for (size_t i = 0; good && i < count; ++i) {
    char* end = nullptr;
    values[i] = std::strtol(parts[i].c_str(), &end, 10);
    good = !parts[i].empty() && *end == '\0' && values[i] >= low && values[i] <= high;
  }
  if (good) return true;
  return fail(option + " takes " +
              (count == 1 ? "a whole number" : std::to_string(count) + " whole numbers") +
              " from " + std::to_string(low) + " to " + std::to_string(high) + ", not \"" + text +
              "\"");
}

}  // namespace calibrate
