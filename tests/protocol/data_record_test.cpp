#include "protocol/data_record.h"

#include <gtest/gtest.h>

#include <cstring>

#include "protocol/packet.h"

namespace {

TEST(DecodeWord, NormalisesAndClamps) {
  EXPECT_FLOAT_EQ(decodeWord(0x7F, 0xFF), 1.0f);
  EXPECT_EQ(decodeWord(0x80, 0x00), -1.0f);  // -32768 is the one word clamped
  EXPECT_EQ(decodeWord(0x00, 0x00), 0.0f);
  EXPECT_NEAR(decodeWord(0x40, 0x00), 16384.0 / 32767.0, 1e-7);
  EXPECT_NEAR(decodeWord(0xC0, 0x00), -16384.0 / 32767.0, 1e-7);
  // Word 1 yields the scale constant itself.
  float unit = decodeWord(0x00, 0x01);
  uint32_t bits;
  std::memcpy(&bits, &unit, sizeof bits);
  EXPECT_EQ(bits, 0x38000100u);
}

TEST(DecodeUnitRecord, ScalesPositionsAndAngles) {
  const uint8_t record[14] = {0x83, 0x55,   // unit 3; the second byte is not read
                              0x40, 0x00,   // x: 16384
                              0x7F, 0xFF,   // y: 32767
                              0x80, 0x00,   // z: -32768
                              0x40, 0x00,   // azimuth
                              0x40, 0x00,   // elevation
                              0xC0, 0x00};  // roll: -16384
  EXPECT_EQ(unitAddress(record), 3);
  const float quarter = 16384.0f / 32767.0f * 180.0f;  // about 90.003 degrees

  TraPose cave = decodeUnitRecord(record, 12.0f, true);
  EXPECT_NEAR(cave.x, 6.0002, 1e-4);
  EXPECT_FLOAT_EQ(cave.y, 12.0f);
  EXPECT_FLOAT_EQ(cave.z, -12.0f);
  EXPECT_NEAR(cave.azimuth, -quarter, 1e-3);   // negated in CAVE coordinates
  EXPECT_NEAR(cave.elevation, quarter, 1e-3);  // never negated
  EXPECT_NEAR(cave.roll, quarter, 1e-3);

  TraPose plain = decodeUnitRecord(record, 24.0f, false);
  EXPECT_NEAR(plain.x, 12.0004, 1e-4);
  EXPECT_NEAR(plain.azimuth, quarter, 1e-3);
  EXPECT_NEAR(plain.roll, -quarter, 1e-3);
  EXPECT_NEAR(quarter, 90.003, 1e-3);
}

TEST(DataPacket, LayoutForTwoUnits) {
  EXPECT_EQ(proto::dataRequestBytes(2), 52u);
  EXPECT_EQ(proto::unitRecordOffset(1), 30u);
  EXPECT_EQ(proto::auxRecordOffset(2), 44u);
  // The read buffer of a bus of 3 devices: larger than any packet of it.
  EXPECT_EQ(proto::dataBufferBytes(3), 680u);
}

TEST(AuxWandBytes, CountsComeFromTheRecordAndStayInsideIt) {
  // w = 2 words, so the byte count sits at offset 7; bits above 3 of byte 1 are not the count.
  const uint8_t aux[8] = {0x00, 0xF2, 0x41, 0x01, 0x02, 0x20, 0x00, 0x04};
  WandBytes wand = auxWandBytes(aux, sizeof aux);
  EXPECT_EQ(wand.bytes, aux + 2);
  EXPECT_EQ(wand.count, 4u);

  EXPECT_EQ(auxWandBytes(aux, 7).count, 0u);  // the count byte did not arrive
  EXPECT_EQ(auxWandBytes(aux, 1).count, 0u);
  const uint8_t tooMany[8] = {0x00, 0x02, 0x41, 0x01, 0x02, 0x20, 0x00, 0x07};
  EXPECT_EQ(auxWandBytes(tooMany, sizeof tooMany).count, 0u);  // 2 + 7 bytes > 8
  const uint8_t noWords[4] = {0x00, 0x00, 0x40, 0x01};         // w = 0: count at offset 3
  EXPECT_EQ(auxWandBytes(noWords, sizeof noWords).count, 1u);
  const uint8_t wideCount[40] = {0x00, 0x0F};  // w = 15: count at offset 33
  EXPECT_EQ(auxWandBytes(wideCount, 33).count, 0u);
  EXPECT_EQ(auxWandBytes(wideCount, 34).count, 0u);  // count byte 0
}

}  // namespace
