// Explicit big-endian reading and writing, for packets and published records.
#ifndef MOTIONSTAR_COMMON_BYTE_ORDER_H
#define MOTIONSTAR_COMMON_BYTE_ORDER_H

#include <cstdint>

inline uint16_t readU16be(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline int16_t readI16be(const uint8_t* p) {
  return static_cast<int16_t>(readU16be(p));
}
inline uint32_t readU32be(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline void writeU16be(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void writeU32be(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// A value whose in-memory bytes are v in big-endian order (a record field).
// Records are filled per tracker per packet, so this is one instruction where
// the compiler allows.
inline uint32_t toBigEndian32(uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return __builtin_bswap32(v);
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return v;
#else
  uint32_t out;
  writeU32be(reinterpret_cast<uint8_t*>(&out), v);
  return out;
#endif
}
inline uint32_t fromBigEndian32(uint32_t stored) {
  return toBigEndian32(stored);
}

#endif  // MOTIONSTAR_COMMON_BYTE_ORDER_H
