// The device's protocol operations before init prepared a connection.
#include <gtest/gtest.h>

#include <string>

#include "driver/motionstar.h"
#include "support/capture.h"
#include "support/plain_log.h"

namespace {

TEST(DeviceCommands, RefuseWithoutAConnection) {
  ConfigEntry entry{};
  CLogH log = plainLog("DEV");
  CMotionStar device(&entry, &log);
  CoutCapture out;
  uint8_t buffer[256] = {};
  EXPECT_FALSE(device.wakeUp());
  EXPECT_EQ(device.getStatus(buffer, 0), 0);
  EXPECT_FALSE(device.sendSystemSetup());
  EXPECT_FALSE(device.sendUnitSetup(2));
  EXPECT_FALSE(device.printSystemStatus());
  EXPECT_FALSE(device.printUnitSetup(2));
  EXPECT_FALSE(device.runContinuous());
  EXPECT_FALSE(device.stopData());
  EXPECT_FALSE(device.shutDown());
  EXPECT_EQ(out.lines(), std::vector<std::string>(
                             9, "DEV: ERROR: CMotionStar: The device has not been initialised."));
}

}  // namespace
