// Data packets of the continuous stream: unit records in position-and-angles
// form and the auxiliary record that carries the wand's serial bytes.
#ifndef MOTIONSTAR_PROTOCOL_DATA_RECORD_H
#define MOTIONSTAR_PROTOCOL_DATA_RECORD_H

#include <cstddef>
#include <cstdint>

#include "motionstar/pose.h"

// The normalised value of one signed 16-bit word (high byte first), in [-1, 1].
float decodeWord(uint8_t high, uint8_t low);

// The pose of one 14-byte unit record: positions times the unit's position
// scale (feet), angles times 180 (degrees); in CAVE coordinates azimuth and
// roll change sign.
TraPose decodeUnitRecord(const uint8_t* record, float positionScale, bool caveCoordinates);

// The FBB address of the unit a record belongs to.
inline uint8_t unitAddress(const uint8_t* record) {
  return record[0] & 0x7F;
}

// The wand bytes of an auxiliary record that starts at aux, of which
// available bytes arrived. count is 0 when the record's counts point past them.
struct WandBytes {
  const uint8_t* bytes;
  uint32_t count;
};
WandBytes auxWandBytes(const uint8_t* aux, size_t available);

#endif  // MOTIONSTAR_PROTOCOL_DATA_RECORD_H
