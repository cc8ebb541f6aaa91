// The wanda assembler: gathers the wand's serial bytes from the aux records
// into 3- or 4-byte packets and decodes their motion and buttons.
#ifndef MOTIONSTAR_DRIVER_WANDA_H
#define MOTIONSTAR_DRIVER_WANDA_H

#include <cstdint>

struct WandaState {
  int8_t motionX = 0;  // -32 .. 32
  int8_t motionY = 0;
  uint8_t firstButton = 0;
  uint8_t secondButton = 0;
  uint8_t fourthByteButton = 0;
  float valuator1 = 0.0f;  // -(motion x) / 32
  float valuator2 = 0.0f;  // (motion y) / 32
};

class WandaAssembler {
 public:
  static bool isStartByte(uint8_t byte) { return (byte & 0x40) != 0; }

  // Stores one byte at the count position. Bytes beyond four before the
  // next start byte are dropped rather than written past the buffer.
  void store(uint8_t byte) {
    if (count < 4) bytes[count] = byte;
    if (count < 4) ++count;
  }
  // Decodes the first three (or four) held bytes into state.
  void decode(int length);
  // Clears the motion part of the first held byte and the next two, and
  // decodes them as a three-byte packet: motion 0, buttons kept.
  void decodeIdle();

  uint8_t bytes[4] = {};
  int32_t count = 0;
  WandaState state;
};

#endif  // MOTIONSTAR_DRIVER_WANDA_H
