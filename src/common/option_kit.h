// What the three option parsers (device, tracker, controller) share: the
// fault phrases and the two-piece fault line, a keyword table that drives the
// walk over an entry's option records, and the readers for words, switches
// and numbers. Each parser keeps its own keywords, labels and checks.
#ifndef MOTIONSTAR_COMMON_OPTION_KIT_H
#define MOTIONSTAR_COMMON_OPTION_KIT_H

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/config.h"
#include "motionstar/host_abi.h"

namespace optkit {

// The fault phrases more than one parser uses.
constexpr const char* kIncomplete = "Incomplete option line found for ";
constexpr const char* kTooMany = "Too many args found for ";
constexpr const char* kInvalidArg = "Invalid arg found for ";
constexpr const char* kInvalidString = "Invalid string found for ";

// Where a parser's faults go: its logger and the prefix of its ERROR lines.
struct FaultLine {
  const CLogH& log;
  const char* prefix;

  // One fault as one line in two pieces: an open ERROR line carrying the
  // prefix, continued on standard output with phrase, label, the line number
  // and closing.
  void report(const char* phrase, const char* label, uint32_t lineNumber,
              const char* closing = ".") const;
};

// What became of one option record.
enum class Outcome {
  kAccepted,  // applied; the record is marked
  kFaulty,    // reported; the record stays unmarked and the parse fails
  kFatal,     // reported; the parse fails and reads no further record
  kSkipped,   // neither applied nor marked, and no fault
};

// One option record as a keyword's handler sees it.
class Option {
 public:
  Option(const OptionRecord& record, const char* label, const FaultLine& faults, bool faultSeen)
      : record_(record), label_(label), faults_(faults), faultSeen_(faultSeen) {}

  // At most the 64 arguments a record holds; a missing text reads as empty.
  uint32_t argCount() const;
  const char* arg(uint32_t index) const;  // 0-based
  uint32_t lineNumber() const { return record_.lineNumber; }
  // The phrase for a count outside min..max arguments; null inside.
  const char* countFault(uint32_t min, uint32_t max) const;
  // Reports the fault under the keyword's label, or the one given.
  Outcome fault(const char* phrase) const { return fault(phrase, label_); }
  Outcome fault(const char* phrase, const char* label, const char* closing = ".") const;
  // An earlier record of the same walk was faulty.
  bool faultSeen() const { return faultSeen_; }

 private:
  const OptionRecord& record_;
  const char* label_;
  const FaultLine& faults_;
  bool faultSeen_;
};

template <class Parser>
struct Keyword {
  const char* name;  // lower case
  Outcome (Parser::*handler)(const Option& option);
  const char* label;  // how the option's fault lines name it
};

// The index of the first entry whose name equals text in any letter case, or -1.
template <class Entry, size_t N>
int findName(const Entry (&table)[N], const char* text) {
  for (size_t i = 0; i < N; ++i) {
    if (compareNoCase(text, table[i].name) == 0) return static_cast<int>(i);
  }
  return -1;
}

// Walks the entry's records in order (the first optionCount, at most the 32
// an entry holds): a record whose name is a keyword of the table goes to that
// keyword's handler; records without a name or a keyword are left alone.
// Accepted records are marked. False when any record was faulty; a fatal one
// ends the walk.
template <class Parser, size_t N>
bool parseOptions(ConfigEntry& entry, const Keyword<Parser> (&table)[N], Parser& parser,
                  const FaultLine& faults) {
  const uint32_t count =
      entry.optionCount < uint32_t{kMaxOptions} ? entry.optionCount : uint32_t{kMaxOptions};
  bool faultSeen = false;
  for (uint32_t i = 0; i < count; ++i) {
    OptionRecord& record = entry.options[i];
    if (record.name == nullptr) continue;
    const int found = findName(table, record.name);
    if (found < 0) continue;
    const Keyword<Parser>& keyword = table[found];
    switch ((parser.*keyword.handler)(Option(record, keyword.label, faults, faultSeen))) {
      case Outcome::kAccepted:
        record.recognised = 1;
        break;
      case Outcome::kFaulty:
        faultSeen = true;
        break;
      case Outcome::kFatal:
        return false;
      case Outcome::kSkipped:
        break;
    }
  }
  return !faultSeen;
}

// A word of an option's list and the value it stands for.
template <class T>
struct Word {
  const char* name;  // lower case
  T value;
};

// The value of text in the list, in any letter case; nothing when absent.
template <class T, size_t N>
std::optional<T> readWord(const Word<T> (&list)[N], const char* text) {
  const int found = findName(list, text);
  if (found < 0) return std::nullopt;
  return list[found].value;
}

// "yes" and "on" true, "no" and "off" false, in any letter case.
std::optional<bool> readSwitch(const char* text);

// parseInt (base 0); a zero from a text that starts with a letter is a word,
// not a number, while "0" reads as 0 and "12abc" as 12.
std::optional<int32_t> readInteger(const char* text);

// strtod kept in single precision; a zero from a text that starts with a
// letter is a word, not a number, while "1.5cm" reads as 1.5 and "+x" as 0.
// Nothing for what is no finite number in single precision (inf, nan, 1e39):
// it would reach the published records as garbage.
std::optional<float> readReal(const char* text);

// The longest list of reals readRealList takes.
constexpr size_t kMaxRealList = 6;

// Reads "[r1,r2,...]" as sscanf reads it with count "%f" conversions
// (1 to kMaxRealList): values the text does not reach keep what they held.
// False, with values unchanged, when a value read is no finite number.
bool readRealList(const char* text, size_t count, float* values);

}  // namespace optkit

#endif  // MOTIONSTAR_COMMON_OPTION_KIT_H
