#include "common/option_kit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "common/logger.h"

namespace optkit {

void FaultLine::report(const char* phrase, const char* label, uint32_t lineNumber,
                       const char* closing) const {
  logh::error(log, prefix, false);
  std::cout << phrase << label << lineNumber << closing << std::endl;
}

uint32_t Option::argCount() const {
  return record_.argCount < uint32_t{kMaxOptionArgs} ? record_.argCount : uint32_t{kMaxOptionArgs};
}

const char* Option::arg(uint32_t index) const {
  const char* text = index < argCount() ? record_.args[index] : nullptr;
  return text != nullptr ? text : "";
}

const char* Option::countFault(uint32_t min, uint32_t max) const {
  if (argCount() < min) return kIncomplete;
  if (argCount() > max) return kTooMany;
  return nullptr;
}

Outcome Option::fault(const char* phrase, const char* label, const char* closing) const {
  faults_.report(phrase, label, record_.lineNumber, closing);
  return Outcome::kFaulty;
}

std::optional<bool> readSwitch(const char* text) {
  static const Word<bool> kSwitch[] = {{"yes", true}, {"on", true}, {"no", false}, {"off", false}};
  return readWord(kSwitch, text);
}

std::optional<int32_t> readInteger(const char* text) {
  const int32_t value = parseInt(text);
  if (value == 0 && startsWithLetter(text)) return std::nullopt;
  return value;
}

std::optional<float> readReal(const char* text) {
  const double value = std::strtod(text, nullptr);
  if (value == 0.0 && startsWithLetter(text)) return std::nullopt;
  const auto real = static_cast<float>(value);
  if (!std::isfinite(real)) return std::nullopt;
  return real;
}

bool readRealList(const char* text, size_t count, float* values) {
  static const char* const kFormats[kMaxRealList + 1] = {nullptr,
                                                         "[%f]",
                                                         "[%f,%f]",
                                                         "[%f,%f,%f]",
                                                         "[%f,%f,%f,%f]",
                                                         "[%f,%f,%f,%f,%f]",
                                                         "[%f,%f,%f,%f,%f,%f]"};
  if (count == 0 || count > kMaxRealList) return false;
  float read[kMaxRealList] = {};
  std::copy(values, values + count, read);
  // Arguments beyond the format's conversions are ignored.
  const int got = std::sscanf(text, kFormats[count], &read[0], &read[1], &read[2], &read[3],
                              &read[4], &read[5]);
  for (int i = 0; i < got; ++i) {
    if (!std::isfinite(read[i])) return false;
  }
  std::copy(read, read + count, values);
  return true;
}

}  // namespace optkit
