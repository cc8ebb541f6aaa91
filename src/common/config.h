// The configuration entry's helpers: keyword comparison, integer reading,
// and the checks of the entry as a whole. The parsers' own kit is in
// option_kit.h.
#ifndef MOTIONSTAR_COMMON_CONFIG_H
#define MOTIONSTAR_COMMON_CONFIG_H

#include <cstdint>

#include "motionstar/host_abi.h"

// Lower-cases every byte before the terminating NUL.
void toLowerInPlace(char* text);
// 0 when equal apart from letter case, -1 / 1 by unsigned byte order.
int compareNoCase(const char* a, const char* b);
// strtol with base 0 and no end pointer, as a signed 32-bit value.
int32_t parseInt(const char* text);
// True when the text begins with a letter: tells a word from a written zero.
bool startsWithLetter(const char* text);

namespace CConfigH {
// Reports every option among the first optionCount that no parser marked;
// true when there is none.
bool checkUnknownOptions(const ConfigEntry& entry, const CLogH& log);
// Refuses an entry that parsers cannot walk safely: an optionCount above 32
// or an option without a name. One ERROR line each; false when refused.
bool checkEntryShape(const ConfigEntry& entry, const CLogH& log);
}  // namespace CConfigH

#endif  // MOTIONSTAR_COMMON_CONFIG_H
