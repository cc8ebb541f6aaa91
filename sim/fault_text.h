// Durations and repeating faults as people write them on a command line,
// for mstar-sim and the host's simulation mode alike.
#ifndef MOTIONSTAR_SIM_FAULT_TEXT_H
#define MOTIONSTAR_SIM_FAULT_TEXT_H

#include <chrono>
#include <string>

#include "sim/simulator.h"

namespace sim {

// The silence of a power cycle, or the length of an outage, when none is given.
constexpr std::chrono::seconds kDefaultFaultLength{3};

// "500ms", "3s", "1.5s", "2m"; a bare number is seconds. Not negative, at
// most a day.
bool parseDuration(const std::string& text, std::chrono::milliseconds* value);

// "EVERY[,LENGTH]": a period above 0 and, when given, the length of each
// spell, shorter than the period (else kDefaultFaultLength, or half the
// period when that is shorter). On failure *error says what is wrong.
bool parseRepeatingFault(const std::string& text, RepeatingFault* fault, std::string* error);

// Why `fault` cannot repeat (its spell does not end before the next);
// empty when it can.
std::string repeatingFaultProblem(const RepeatingFault& fault);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_FAULT_TEXT_H
