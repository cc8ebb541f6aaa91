#include "tools/sub/json_record.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace stream = motionstar::stream;

namespace {

// The fields of one flat JSON object: strings, numbers and arrays of numbers
// are all that mstar-host writes.
struct Fields {
  std::map<std::string, std::string> strings;
  std::map<std::string, double> numbers;
  std::map<std::string, std::vector<double>> arrays;
};

bool oneOf(char c, const char* set) {
  return c != '\0' && std::strchr(set, c) != nullptr;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool object(Fields* fields, std::string* error) {
    if (!take('{')) return fail("not a JSON object", error);
    if (take('}')) return end(error);
    do {
      std::string key;
      if (!string(&key) || !take(':')) return fail("a field without a name", error);
      skipSpace();
      const char next = pos_ < text_.size() ? text_[pos_] : '\0';
      bool good = false;
      if (next == '"') {
        good = string(&fields->strings[key]);
      } else if (next == '[') {
        good = numbers(&fields->arrays[key]);
      } else {
        good = number(&fields->numbers[key]);
      }
      if (!good) return fail("field \"" + key + "\" has no value this reader knows", error);
    } while (take(','));
    if (!take('}')) return fail("the object does not end", error);
    return end(error);
  }

 private:
  void skipSpace() {
    while (pos_ < text_.size() && oneOf(text_[pos_], " \t\r\n")) ++pos_;
  }
  bool take(char c) {
    skipSpace();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool end(std::string* error) {
    skipSpace();
    return pos_ == text_.size() || fail("text after the object", error);
  }
  static bool fail(const std::string& why, std::string* error) {
    *error = why;
    return false;
  }

  bool string(std::string* out) {
    if (!take('"')) return false;
    out->clear();
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (pos_ >= text_.size()) return false;
      const char escaped = text_[pos_++];
      const char* from = "\"\\/bfnrt";
      const char* to = "\"\\/\b\f\n\r\t";
      if (oneOf(escaped, from)) {
        *out += to[std::strchr(from, escaped) - from];
      } else if (escaped == 'u' && pos_ + 4 <= text_.size()) {
        // The host escapes control characters only; anything wider is shown as '?'.
        const long code = std::strtol(std::string(text_.substr(pos_, 4)).c_str(), nullptr, 16);
        *out += code < 0x80 ? static_cast<char>(code) : '?';
        pos_ += 4;
      } else {
        return false;
      }
    }
    return false;
  }

  bool number(double* out) {
    skipSpace();
    const size_t start = pos_;
    while (pos_ < text_.size() && oneOf(text_[pos_], "+-.0123456789eE")) ++pos_;
    const std::string digits(text_.substr(start, std::min<size_t>(pos_ - start, 64)));
    if (digits.empty() || digits.size() != pos_ - start) return false;
    char* end = nullptr;
    *out = std::strtod(digits.c_str(), &end);
    return end == digits.c_str() + digits.size() && std::isfinite(*out);
  }

  bool numbers(std::vector<double>* out) {
    if (!take('[')) return false;
    out->clear();
    if (take(']')) return true;
    do {
      double value = 0;
      if (!number(&value) || out->size() >= 32) return false;
      out->push_back(value);
    } while (take(','));
    return take(']');
  }

  std::string_view text_;
  size_t pos_ = 0;
};

bool has(const Fields& f, std::initializer_list<const char*> numbers, std::string* missing) {
  for (const char* name : numbers) {
    if (f.numbers.count(name) == 0) {
      *missing = name;
      return false;
    }
  }
  return true;
}

// A whole number in [low, high].
bool whole(double value, double low, double high) {
  return value >= low && value <= high && value == std::floor(value);
}

}  // namespace

bool parseJsonRecord(std::string_view text, JsonRecord* out, std::string* error) {
  Fields f;
  if (!Reader(text).object(&f, error)) return false;
  const std::string type = f.strings.count("type") ? f.strings["type"] : "";
  const std::string device = f.strings.count("device") ? f.strings["device"] : "";
  std::string missing;
  if (device.empty() || !has(f, {"time"}, &missing) || !(f.numbers["time"] >= 0) ||
      f.numbers["time"] > 4294967295.0) {
    *error = "no device or time";
    return false;
  }
  JsonRecord r;
  if (type == "status") {
    static const char* kStates[] = {"starting", "streaming",  "stale",
                                    "lost",     "recovering", "stopped"};
    const std::string state = f.strings["state"];
    int index = 0;
    while (index < 6 && state != kStates[index]) ++index;
    if (index == 6 || device.size() > stream::kMaxDeviceName ||
        !has(f, {"dropouts", "recoveries", "packets", "failures"}, &missing)) {
      *error = "not a status of mstar-host";
      return false;
    }
    r.status = true;
    r.record.kind = stream::Kind::kStatus;
    device.copy(r.record.device, stream::kMaxDeviceName);
    r.record.state = static_cast<stream::DeviceState>(index + 1);
    const long long milliseconds = std::llround(f.numbers["time"] * 1000);
    r.record.stampSeconds = static_cast<uint32_t>(milliseconds / 1000);
    r.record.stampMilliseconds = static_cast<uint16_t>(milliseconds % 1000);
    r.record.dropouts = static_cast<uint32_t>(f.numbers["dropouts"]);
    r.record.recoveries = static_cast<uint32_t>(f.numbers["recoveries"]);
    r.record.packets = static_cast<uint64_t>(f.numbers["packets"]);
    r.record.failures = static_cast<uint64_t>(f.numbers["failures"]);
    *out = r;
    return true;
  }
  Publication& p = r.publication;
  p.device = device;
  p.time = f.numbers["time"];
  if (!has(f, {"id"}, &missing) || !whole(f.numbers["id"], 1, 32)) {
    *error = "no output ID from 1 to 32";
    return false;
  }
  p.id = static_cast<uint32_t>(f.numbers["id"]);
  if (type == "tracker") {
    p.kind = Publication::kTracker;
    const char* names[] = {"x", "y", "z", "azimuth", "elevation", "roll"};
    for (int i = 0; i < 6; ++i) {
      if (!has(f, {names[i]}, &missing)) {
        *error = std::string("a tracker without \"") + names[i] + "\"";
        return false;
      }
      p.pose[i] = f.numbers[names[i]];
    }
  } else if (type == "controller" && f.arrays.count("valuators") && f.arrays.count("buttons")) {
    p.kind = Publication::kController;
    p.valuators = f.arrays["valuators"];
    for (double b : f.arrays["buttons"]) {
      if (b != 0 && b != 1) {
        *error = "a button that is neither 0 nor 1";
        return false;
      }
      p.buttons.push_back(static_cast<int>(b));
    }
  } else {
    *error = "neither a tracker, a controller nor a status";
    return false;
  }
  *out = r;
  return true;
}
