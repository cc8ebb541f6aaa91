#include "protocol/status_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/logger.h"
#include "protocol/packet.h"
#include "support/capture.h"
#include "support/plain_log.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using namespace proto;

// GET_STATUS reply for the system: header, then a 19-byte data block.
const Bytes kSystemBlock = {
    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xC9, 0x00, 0x03, 0x00, 0xAB, 0xCD, 0x00, 0x13,
    0xFF,                               // 0: every system flag
    0x00, 0x00, 0x00,                   // 1-3
    0x31,                               // 4: ERC 3, transmitter 1
    '0',  '8',  '6',  '1',  '0',  '0',  // 5-10: measurement rate
    0xFE,                               // 11: chassis ID -2
    0x00, 0x00, 0x00, 0x00,             // 12-15
    0xF1, 0x71, 0xE1,                   // 16-18: FBB devices 1 to 3
};

// GET_STATUS reply for unit 2: header, then a 64-byte data block.
const Bytes
    kUnitBlock =
        {
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC9, 0x02, 0x03, 0x00,
            0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0-6
            0x01,                                                              // 7: report rate 1
            0x00, 0x48,                                                        // 8-9: scaling 72
            0x03,                                                              // 10: +Z
            0x00, 0x00, 0x00, 0x00, 0x00,                                      // 11-15
            0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06,
            0x00, 0x07,  // alpha min
            0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00,
            0x07, 0x00,  // alpha max
            0x00, 0x0A, 0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D, 0x00, 0x0E, 0x00, 0x0F,
            0x00, 0x10,                          // VM
            0x11, 0x22, 0x33, 0x44, 0x55, 0x66,  // 58-63
};

Bytes inBuffer(const Bytes& block) {
  Bytes buffer(kStatusBufferBytes, 0);
  std::copy(block.begin(), block.end(), buffer.begin());
  return buffer;
}

TEST(SystemSetup, WritesErcAddressAndMeasurementRateOnly) {
  Bytes packet = inBuffer(kSystemBlock);
  writeSystemSetup(packet.data(), packet.size(), {2, "012345"});
  Bytes expected = inBuffer({
      0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xC9, 0x00,
      0x03, 0x00, 0xAB, 0xCD, 0x00, 0x13, 0xFF, 0x00, 0x00, 0x00,
      0x20,                               // ERC 2 in bits 7-4, transmitter number cleared
      '0',  '1',  '2',  '3',  '4',  '5',  // the first six bytes of the setting
      0xFE, 0x00, 0x00, 0x00, 0x00, 0xF1, 0x71, 0xE1,
  });
  EXPECT_EQ(packet, expected);
}

TEST(UnitSetup, WritesRateHemisphereGivenTablesAndAlignment) {
  const uint16_t alphaMin[7] = {655, 655, 655, 655, 655, 655, 655};
  const uint16_t alphaMax[7] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  const uint16_t vm[7] = {2, 4, 8, 32, 64, 256, 512};
  UnitSettings settings{
      ReportRate::kEvery32, Hemisphere::kMinusY, alphaMin, true, alphaMax, false, vm, true, true};
  Bytes packet = inBuffer(kUnitBlock);
  writeUnitSetup(packet.data(), packet.size(), settings);
  Bytes expected = inBuffer({
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC9, 0x02, 0x03, 0x00, 0x00, 0x00,
      0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x20,        // 7: report rate 32
      0x00, 0x48,  // 8-9: scaling untouched
      0x04,        // 10: hemisphere -Y
      0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x8F, 0x02, 0x8F, 0x02, 0x8F, 0x02, 0x8F, 0x02,
      0x8F, 0x02, 0x8F, 0x02, 0x8F,                                                        // given
      0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00,  // kept
      0x00, 0x02, 0x00, 0x04, 0x00, 0x08, 0x00, 0x20, 0x00, 0x40, 0x01, 0x00, 0x02, 0x00,  // given
      0x3F, 0xFF, 0x00, 0x00, 0xC0, 0x00,  // CAVE alignment
  });
  EXPECT_EQ(packet, expected);

  // Without the options the device's tables go back as they came; without
  // CAVE coordinates the alignment words are cleared.
  settings.alphaMinGiven = settings.vmGiven = false;
  settings.caveCoordinates = false;
  packet = inBuffer(kUnitBlock);
  writeUnitSetup(packet.data(), packet.size(), settings);
  expected = inBuffer(kUnitBlock);
  expected[16 + 7] = 0x20;
  expected[16 + 10] = 0x04;
  for (size_t i = 58; i < 64; ++i) expected[16 + i] = 0;
  EXPECT_EQ(packet, expected);

  // A buffer that ends early is not written past its end.
  Bytes shortBuffer(40, 0xEE);
  writeUnitSetup(shortBuffer.data(), 30, settings);
  EXPECT_EQ(shortBuffer[16 + 7], 0x20);
  EXPECT_EQ(shortBuffer[16 + 10], 0x04);
  EXPECT_EQ(shortBuffer[30], 0xEE);
}

TEST(PositionScale, FollowsTheScalingWord) {
  Bytes packet = kUnitBlock;
  struct Case {
    uint16_t scaling;
    float scale;
  } cases[] = {{36, 3.0f}, {72, 6.0f}, {144, 12.0f}, {288, 24.0f}, {100, 7.5f}, {0, 7.5f}};
  for (const Case& c : cases) {
    packet[24] = static_cast<uint8_t>(c.scaling >> 8);
    packet[25] = static_cast<uint8_t>(c.scaling);
    EXPECT_EQ(selectPositionScale(packet.data(), packet.size(), 7.5f), c.scale) << c.scaling;
  }
  packet[25] = 72;
  EXPECT_EQ(selectPositionScale(packet.data(), 25, 7.5f), 7.5f);  // the word did not arrive
}

class Reports : public ::testing::Test {
 protected:
  CLogH log = plainLog("DEV");
  CoutCapture out;
};

TEST_F(Reports, SystemReport) {
  printSystemReport(log, kSystemBlock.data(), kSystemBlock.size(), 1);
  EXPECT_EQ(out.lines(),
            (Lines{"DEV: INFO: CMotionStar: The system is running.",
                   "DEV: INFO: CMotionStar: System error detected.",
                   "DEV: INFO: CMotionStar: FBB error detected.",
                   "DEV: INFO: CMotionStar: Local error detected.",
                   "DEV: INFO: CMotionStar: Power status error detected.",
                   "DEV: INFO: CMotionStar: I am Master.",
                   "DEV: INFO: CMotionStar: Defines type of CRT sync being used.",
                   "DEV: INFO: CMotionStar: CRT Sync mode enabled and active.",
                   "DEV: INFO: CMotionStar: ERC address: 3 with the transmitter number 1",
                   "DEV: INFO: CMotionStar: Measurement rate: 86.1 samples/sec.",
                   "DEV: INFO: CMotionStar: Chassis ID: -2.",
                   "DEV: INFO: CMotionStar: Flock device 1: running, Receiver, ERC-0",
                   "DEV: INFO: CMotionStar: Flock device 3: running, Receiver, SRT"}));
}

TEST_F(Reports, SystemReportVariants) {
  Bytes packet = kSystemBlock;
  packet[16] = 0x84;
  packet[15] = 16;  // no device status bytes
  packet[21] = '0';
  packet[22] = 'x';  // reading stops at the first non-digit
  printSystemReport(log, packet.data(), packet.size(), 0);
  EXPECT_EQ(out.lines(), (Lines{"DEV: INFO: CMotionStar: The system is running.",
                                "DEV: INFO: CMotionStar: I am Master.",
                                "DEV: INFO: CMotionStar: Measurement rate: 0 samples/sec.",
                                "DEV: INFO: CMotionStar: Chassis ID: -2."}));
  out.clear();

  // A count larger than what arrived reads only what arrived.
  packet = kSystemBlock;
  packet[16] = 0;
  packet[14] = 0x01;
  packet.push_back(0x00);
  printSystemReport(log, packet.data(), packet.size(), 0);
  Lines lines = out.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "DEV: INFO: CMotionStar: Flock device 1: running, Receiver, ERC-0");
  EXPECT_EQ(lines[3], "DEV: INFO: CMotionStar: Flock device 3: running, Receiver, SRT");

  out.clear();
  const uint8_t devices[] = {0x80, 0xDE, 0x91};
  packet = Bytes(kSystemBlock.begin(), kSystemBlock.begin() + 32);
  packet.insert(packet.end(), devices, devices + 3);
  printSystemReport(log, packet.data(), packet.size(), 0);
  lines = out.lines();
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[10], "DEV: INFO: CMotionStar: Flock device 1: not-running");
  EXPECT_EQ(lines[11], "DEV: INFO: CMotionStar: Flock device 2: running, ERC-3, ERC-2, ERC-1");
  EXPECT_EQ(lines[12], "DEV: INFO: CMotionStar: Flock device 3: not-running, ERC-0");
}

TEST_F(Reports, UnitReport) {
  printUnitReport(log, 2, kUnitBlock.data(), kUnitBlock.size());
  Lines expected = {"DEV: INFO: CMotionStar: (dev:2) ReportRate: 1",
                    "DEV: INFO: CMotionStar: (dev:2) Scaling: 72",
                    "DEV: INFO: CMotionStar: (dev:2) Hemisphere: +Z",
                    "DEV: INFO: CMotionStar: (dev:2) AlphaMin:"};
  for (int k = 1; k <= 7; ++k) {
    expected.push_back("DEV: INFO: CMotionStar: word " + std::to_string(k) + ": " +
                       std::to_string(k));
  }
  expected.push_back("DEV: INFO: CMotionStar: (dev:2) AlphaMax:");
  for (int k = 1; k <= 7; ++k) {
    expected.push_back("DEV: INFO: CMotionStar: word " + std::to_string(k) + ": " +
                       std::to_string(k) + "00");
  }
  expected.push_back("DEV: INFO: CMotionStar: (dev:2) VM:");
  const char* vm[7] = {"a", "b", "c", "d", "e", "f", "10"};
  for (int k = 1; k <= 7; ++k) {
    expected.push_back("DEV: INFO: CMotionStar: word " + std::to_string(k) + ": " + vm[k - 1]);
  }
  EXPECT_EQ(out.lines(), expected);
}

TEST_F(Reports, UnitReportRatesAndHemispheres) {
  Bytes packet = kUnitBlock;
  struct Case {
    uint8_t rate;
    uint8_t hemisphere;
    const char* rateText;
    const char* hemisphereText;
  } cases[] = {{2, 0, "0.5", "+X"}, {8, 1, "0.125", "-X"}, {32, 2, "0.03125", "-Z"},
               {0, 4, "inf", "-Y"}, {0xFF, 5, "-1", "+Y"}, {3, 7, "0.333333", "Unknown: 7"}};
  for (const Case& c : cases) {
    packet[16 + 7] = c.rate;
    packet[16 + 10] = c.hemisphere;
    out.clear();
    // Unit 12 also shows that the numbers are decimal again after the hexadecimal words.
    printUnitReport(log, 12, packet.data(), packet.size());
    printUnitReport(log, 12, packet.data(), packet.size());
    Lines lines = out.lines();
    ASSERT_EQ(lines.size(), 54u);
    EXPECT_EQ(lines[27], std::string("DEV: INFO: CMotionStar: (dev:12) ReportRate: ") + c.rateText);
    EXPECT_EQ(lines[29],
              std::string("DEV: INFO: CMotionStar: (dev:12) Hemisphere: ") + c.hemisphereText);
  }
}

}  // namespace
