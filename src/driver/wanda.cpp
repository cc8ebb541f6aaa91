#include "driver/wanda.h"

namespace {

int8_t limitMotion(int8_t value) {
  if (value > 32) return 32;
  if (value < -32) return -32;
  return value;
}

}  // namespace

void WandaAssembler::decode(int length) {
  const uint8_t b0 = bytes[0], b1 = bytes[1], b2 = bytes[2];
  state.motionX = limitMotion(static_cast<int8_t>(((b0 & 0x03) << 6) | (b1 & 0x3F)));
  state.motionY = limitMotion(static_cast<int8_t>((((b0 >> 2) & 0x03) << 6) | (b2 & 0x3F)));
  state.valuator1 = -static_cast<float>(state.motionX) * 0.03125f;
  state.valuator2 = static_cast<float>(state.motionY) * 0.03125f;
  state.firstButton = (b0 >> 4) & 1;
  state.secondButton = (b0 >> 5) & 1;
  if (length == 4) state.fourthByteButton = (bytes[3] >> 5) & 1;
}

void WandaAssembler::decodeIdle() {
  const uint8_t saved[4] = {bytes[0], bytes[1], bytes[2], bytes[3]};
  bytes[0] = saved[0] & 0xF0;
  bytes[1] = 0;
  bytes[2] = 0;
  decode(3);
  // The held bytes themselves are not changed by an idle packet.
  for (int i = 0; i < 4; ++i) bytes[i] = saved[i];
}
