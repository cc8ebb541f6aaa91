#include "sim/fault_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace sim {

bool parseDuration(const std::string& text, std::chrono::milliseconds* value) {
  errno = 0;
  const char* start = text.c_str();
  char* end = nullptr;
  const double number = std::strtod(start, &end);
  if (end == start || errno != 0 || !(number >= 0) || std::isspace(*start)) return false;
  const std::string unit = end;
  double perUnit;
  if (unit == "ms") {
    perUnit = 1;
  } else if (unit.empty() || unit == "s") {
    perUnit = 1000;
  } else if (unit == "m") {
    perUnit = 60000;
  } else {
    return false;
  }
  const double milliseconds = number * perUnit;
  if (milliseconds > 86400000.0) return false;
  *value = std::chrono::milliseconds(std::llround(milliseconds));
  return true;
}

std::string repeatingFaultProblem(const RepeatingFault& fault) {
  if (fault.every.count() <= 0) return "the period must be above 0";
  if (fault.length.count() < 0) return "the length must not be negative";
  if (fault.length >= fault.every) return "each spell must end before the next begins";
  return "";
}

bool parseRepeatingFault(const std::string& text, RepeatingFault* fault, std::string* error) {
  const size_t comma = text.find(',');
  RepeatingFault read;
  if (!parseDuration(text.substr(0, comma), &read.every) ||
      (comma != std::string::npos && !parseDuration(text.substr(comma + 1), &read.length))) {
    *error = "'" + text + "' is not EVERY[,LENGTH] (durations such as 20s, 500ms or 1.5m)";
    return false;
  }
  if (comma == std::string::npos) {
    read.length = std::min<std::chrono::milliseconds>(kDefaultFaultLength, read.every / 2);
  }
  const std::string problem = repeatingFaultProblem(read);
  if (!problem.empty()) {
    *error = "'" + text + "': " + problem;
    return false;
  }
  *fault = read;
  return true;
}

}  // namespace sim
