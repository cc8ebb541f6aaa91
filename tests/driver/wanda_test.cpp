#include "driver/wanda.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The wand packets one aux record's bytes finish, in order.
std::vector<WandaState> feed(WandaAssembler& wanda, std::vector<uint8_t> bytes) {
  std::vector<WandaState> finished;
  wanda.feed(bytes.data(), bytes.size(),
             [&finished](const WandaState& state) { finished.push_back(state); });
  return finished;
}

TEST(Wanda, MotionAndButtonsFromTheBitLayout) {
  WandaAssembler wanda;
  // A three-byte packet waits for the next start byte.
  EXPECT_TRUE(feed(wanda, {0x40, 0x01, 0x02}).empty());
  // -100 is 0x9C: bits 7-6 (10) in b0 bits 1-0, bits 5-0 (011100) in b1.
  const std::vector<WandaState> finished = feed(wanda, {0x40 | 0x10 | 0x02, 0x1C, 0x00, 0x20});
  ASSERT_EQ(finished.size(), 2u);
  EXPECT_EQ(finished[0].motionX, 1);
  EXPECT_EQ(finished[0].motionY, 2);
  EXPECT_FLOAT_EQ(finished[0].valuator1, -0.03125f);
  EXPECT_FLOAT_EQ(finished[0].valuator2, 0.0625f);
  EXPECT_EQ(finished[0].firstButton + finished[0].secondButton, 0);
  EXPECT_EQ(finished[1].motionX, -32);
  EXPECT_FLOAT_EQ(finished[1].valuator1, 1.0f);
  EXPECT_EQ(finished[1].firstButton, 1);
  EXPECT_EQ(finished[1].fourthByteButton, 1);

  // A three-byte packet leaves the fourth-byte button as it was.
  EXPECT_TRUE(feed(wanda, {0x60, 0x00, 0x00}).empty());
  const WandaState& last = wanda.finishWithoutAux();
  EXPECT_EQ(last.secondButton, 1);
  EXPECT_EQ(last.fourthByteButton, 1);
}

TEST(Wanda, HeldFourBytePacketIsDecodedAgainUntilTheNextStartByte) {
  WandaAssembler wanda;
  EXPECT_EQ(feed(wanda, {0x40, 0x01, 0x02, 0x20}).size(), 1u);
  EXPECT_EQ(feed(wanda, {}).size(), 1u);  // an aux record without wand bytes
  EXPECT_TRUE(feed(wanda, {0x40}).empty());
}

TEST(Wanda, BytesBeyondFourAreDropped) {
  WandaAssembler wanda;
  // 0x1F has bit 5 clear: written over the fourth byte, it would release the button.
  const std::vector<WandaState> finished = feed(wanda, {0x40, 0x01, 0x02, 0x20, 0x1F, 0x1F, 0x1F});
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(finished[0].motionX, 1);
  EXPECT_EQ(finished[0].motionY, 2);
  EXPECT_EQ(finished[0].fourthByteButton, 1);
}

TEST(Wanda, IdlePacketKeepsTheButtonsOfTheFirstByte) {
  WandaAssembler wanda;
  EXPECT_TRUE(feed(wanda, {0x50 | 0x0F}).empty());
  const WandaState idle = wanda.finishWithoutAux();
  EXPECT_EQ(idle.motionX, 0);
  EXPECT_EQ(idle.motionY, 0);
  EXPECT_FLOAT_EQ(idle.valuator1, 0.0f);
  EXPECT_EQ(idle.firstButton, 1);
  EXPECT_EQ(idle.secondButton, 0);

  // The held byte stays, motion bits and all: two more make a whole packet.
  EXPECT_TRUE(feed(wanda, {0x01, 0x02}).empty());
  const WandaState& whole = wanda.finishWithoutAux();
  EXPECT_EQ(whole.motionX, -32);  // 0xC1
  EXPECT_EQ(whole.motionY, -32);  // 0xC2
  EXPECT_EQ(whole.firstButton, 1);
}

}  // namespace
