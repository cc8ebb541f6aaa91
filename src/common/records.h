// TraData and ConData operations, their comparisons and the updated-ID masks.
#ifndef MOTIONSTAR_COMMON_RECORDS_H
#define MOTIONSTAR_COMMON_RECORDS_H

#include <cstdint>

#include "motionstar/host_abi.h"

namespace records {

constexpr double kPoseScale = 100000.0;
constexpr double kValuatorScale = 1000.0;

// Reads the system time into the host-form stamp and the header's seconds
// and microseconds.
void stampTime(RecordHeader& header, HostTimeStamp& stamp);

// A new TraData: header and pose zeroed, the host-form stamp left alone.
void traCreate(TraData& record);
// Stores the ID (1 to 32); false otherwise.
bool traSetId(TraData& record, uint32_t id);
// Stores x, y, z, azimuth, elevation, roll, each x 100000 truncated.
void traSetPose(TraData& record, const float pose[6]);
// Equal when the six pose values are equal.
bool traEqual(const TraData& a, const TraData& b);

void conReset(ConData& record);
bool conSetId(ConData& record, uint32_t id);
bool conSetValuatorCount(ConData& record, uint32_t count);
bool conSetButtonCount(ConData& record, uint32_t count);
bool conSetValuator(ConData& record, uint32_t index, float value);
bool conSetButton(ConData& record, uint32_t index, int state);
// Equal when counts, valuators in use and button bytes are equal.
bool conEqual(const ConData& a, const ConData& b);

void maskClear(uint8_t mask[4]);
// Sets the bit of ID 1 to 32; false and no change otherwise.
bool maskMark(uint8_t mask[4], uint32_t id);

}  // namespace records

#endif  // MOTIONSTAR_COMMON_RECORDS_H
