#include "driver/wanda.h"

#include <gtest/gtest.h>

namespace {

void feed(WandaAssembler& wanda, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes) {
    if (WandaAssembler::isStartByte(b)) wanda.count = 0;
    wanda.store(b);
  }
}

TEST(Wanda, MotionAndButtonsFromTheBitLayout) {
  WandaAssembler wanda;
  feed(wanda, {0x40, 0x01, 0x02});
  wanda.decode(3);
  EXPECT_EQ(wanda.state.motionX, 1);
  EXPECT_EQ(wanda.state.motionY, 2);
  EXPECT_FLOAT_EQ(wanda.state.valuator1, -0.03125f);
  EXPECT_FLOAT_EQ(wanda.state.valuator2, 0.0625f);
  EXPECT_EQ(wanda.state.firstButton + wanda.state.secondButton, 0);

  // -100 is 0x9C: bits 7-6 (10) in b0 bits 1-0, bits 5-0 (011100) in b1.
  feed(wanda, {0x40 | 0x10 | 0x02, 0x1C, 0x00, 0x20});
  wanda.decode(4);
  EXPECT_EQ(wanda.state.motionX, -32);
  EXPECT_FLOAT_EQ(wanda.state.valuator1, 1.0f);
  EXPECT_EQ(wanda.state.firstButton, 1);
  EXPECT_EQ(wanda.state.fourthByteButton, 1);

  // A three-byte packet leaves the fourth-byte button as it was.
  feed(wanda, {0x60, 0x00, 0x00});
  wanda.decode(3);
  EXPECT_EQ(wanda.state.secondButton, 1);
  EXPECT_EQ(wanda.state.fourthByteButton, 1);
}

TEST(Wanda, BytesBeyondFourAreDropped) {
  WandaAssembler wanda;
  feed(wanda, {0x40, 0x01, 0x02, 0x20, 0x3F, 0x3F, 0x3F});
  EXPECT_EQ(wanda.count, 4);
  EXPECT_EQ(wanda.bytes[3], 0x20);
}

TEST(Wanda, IdlePacketKeepsTheButtonsOfTheFirstByte) {
  WandaAssembler wanda;
  feed(wanda, {0x50 | 0x0F});
  wanda.decodeIdle();
  EXPECT_EQ(wanda.state.motionX, 0);
  EXPECT_EQ(wanda.state.motionY, 0);
  EXPECT_FLOAT_EQ(wanda.state.valuator1, 0.0f);
  EXPECT_EQ(wanda.state.firstButton, 1);
  EXPECT_EQ(wanda.state.secondButton, 0);
  EXPECT_EQ(wanda.bytes[0], 0x5F);  // the held bytes stay
  EXPECT_EQ(wanda.count, 1);
}

}  // namespace
