// A device block's simulator lines: read for --simulate, never handed to
// the driver, and reported by line when wrong or unused.
#include "host/simulator_options.h"

#include <gtest/gtest.h>

namespace {

TEST(SimulatorOptions, TakenOutOfTheBlocksWithTheirSettings) {
  ConfigFile config;
  std::string error;
  ASSERT_TRUE(
      parseConfigText("device a motionstar 1\n"
                      "protocol tcp\n"
                      "SimulatorDistortion 7,0.5\n"
                      "wanda 1\n"
                      "device b motionstar 1\n",
                      "cave.conf", &config, &error));
  std::vector<DeviceSimulatorOptions> options;
  ASSERT_TRUE(takeSimulatorOptions(config, "cave.conf", &options, &error)) << error;
  ASSERT_EQ(options.size(), 2u);
  EXPECT_TRUE(options[0].distortion.on);
  EXPECT_EQ(options[0].distortion.seed, 7u);
  EXPECT_EQ(options[0].distortion.strength, 0.5);
  EXPECT_FALSE(options[1].distortion.on);
  // The driver sees the other lines, with their numbers.
  ASSERT_EQ(config.devices[0].options.size(), 2u);
  EXPECT_EQ(config.devices[0].options[1].name, "wanda");
  EXPECT_EQ(config.devices[0].options[1].line, 4u);
  EXPECT_EQ(
      unusedSimulatorOptions(options, "cave.conf"),
      std::vector<std::string>{"cave.conf:3: simulatordistortion is for --simulate; ignored"});

  for (const char* bad :
       {"simulatordistortion\n", "simulatordistortion 1 2\n", "simulatordistortion x\n"}) {
    ASSERT_TRUE(parseConfigText(std::string("device a motionstar 1\n") + bad, "cave.conf", &config,
                                &error));
    EXPECT_FALSE(takeSimulatorOptions(config, "cave.conf", &options, &error)) << bad;
    EXPECT_EQ(error.rfind("cave.conf:2: simulatordistortion: ", 0), 0u) << error;
  }
}

}  // namespace
