#include "driver/wanda.h"

namespace {

int8_t limitMotion(int8_t value) {
  if (value > 32) return 32;
  if (value < -32) return -32;
  return value;
}

}  // namespace

const WandaState& WandaAssembler::finishWithoutAux() {
  if (count_ == 3 || count_ == 4) {
    decode(bytes_, count_);
    count_ = 0;
    return state_;
  }
  // Only the button bits of the first held byte; the held bytes stay.
  const uint8_t idle[3] = {static_cast<uint8_t>(bytes_[0] & 0xF0), 0, 0};
  return decode(idle, 3);
}

const WandaState& WandaAssembler::decode(const uint8_t* b, int length) {
  state_.motionX = limitMotion(static_cast<int8_t>(((b[0] & 0x03) << 6) | (b[1] & 0x3F)));
  state_.motionY = limitMotion(static_cast<int8_t>((((b[0] >> 2) & 0x03) << 6) | (b[2] & 0x3F)));
  state_.valuator1 = -static_cast<float>(state_.motionX) * 0.03125f;
  state_.valuator2 = static_cast<float>(state_.motionY) * 0.03125f;
  state_.firstButton = (b[0] >> 4) & 1;
  state_.secondButton = (b[0] >> 5) & 1;
  if (length == 4) state_.fourthByteButton = (b[3] >> 5) & 1;
  return state_;
}
