// The wanda assembler: gathers the wand's serial bytes from the aux records
// into 3- or 4-byte packets and decodes their motion and buttons.
#ifndef MOTIONSTAR_DRIVER_WANDA_H
#define MOTIONSTAR_DRIVER_WANDA_H

#include <cstddef>
#include <cstdint>

// The wand is the device's one controller: its two motion axes are
// valuators, and it has three buttons.
constexpr uint32_t kWandController = 1;
constexpr uint32_t kWandValuators = 2;
constexpr uint32_t kWandButtons = 3;

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
  // Takes the wand bytes of one aux record, in order, and calls done(state)
  // for every wand packet they finish: a held three-byte packet when the
  // next start byte arrives, and a held four-byte packet when the bytes end
  // (again at every later aux record, until a start byte).
  template <class Done>
  void feed(const uint8_t* wandBytes, size_t count, Done&& done) {
    for (size_t i = 0; i < count; ++i) {
      if (isStartByte(wandBytes[i])) {
        if (count_ == 3) done(decode(bytes_, 3));
        count_ = 0;
      }
      store(wandBytes[i]);
    }
    if (count_ == 4) done(decode(bytes_, 4));
  }

  // For a packet without aux part: decodes a held three- or four-byte
  // packet and starts over; with fewer bytes held, decodes an idle packet
  // (motion 0, the buttons of the first held byte) and keeps them.
  const WandaState& finishWithoutAux();

 private:
  static bool isStartByte(uint8_t byte) { return (byte & 0x40) != 0; }
  // Bytes beyond four before the next start byte are dropped rather than
  // written past the buffer.
  void store(uint8_t byte) {
    if (count_ < 4) bytes_[count_++] = byte;
  }
  // Decodes a three- or four-byte wand packet into the state.
  const WandaState& decode(const uint8_t* packet, int length);

  uint8_t bytes_[4] = {};
  int32_t count_ = 0;
  WandaState state_;
};

#endif  // MOTIONSTAR_DRIVER_WANDA_H
