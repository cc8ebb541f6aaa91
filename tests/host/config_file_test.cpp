#include "host/config_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/host_entry.h"

namespace {

TEST(ConfigFile, BlocksKeepTheirLineNumbers) {
  ConfigFile config;
  std::string error;
  ASSERT_TRUE(
      parseConfigText("# header comment\n"
                      "\n"
                      "device front motionstar 4 extra\n"
                      "  protocol   udp   # trailing comment\n"
                      "SensorOffset 1 0 0 -10 cm\r\n"
                      "device side motionstar\n"
                      "wanda 1\n",
                      "cave.conf", &config, &error))
      << error;
  ASSERT_EQ(config.devices.size(), 2u);
  const DeviceBlock& front = config.devices[0];
  EXPECT_EQ(front.line, 3u);
  EXPECT_EQ(front.name, "front");
  EXPECT_EQ(front.module, "motionstar");
  EXPECT_EQ(front.args, (std::vector<std::string>{"4", "extra"}));
  ASSERT_EQ(front.options.size(), 2u);
  EXPECT_EQ(front.options[0].line, 4u);
  EXPECT_EQ(front.options[0].args, (std::vector<std::string>{"udp"}));
  EXPECT_EQ(front.options[1].name, "SensorOffset");
  EXPECT_EQ(front.options[1].args.back(), "cm");  // no carriage return left
  EXPECT_NE(front.find("sensoroffset"), nullptr);
  EXPECT_EQ(config.devices[1].line, 6u);
  EXPECT_EQ(config.devices[1].options[0].line, 7u);
}

TEST(ConfigFile, ErrorsNameTheFileAndLine) {
  struct Case {
    std::string text, error;
  } cases[] = {
      {"protocol tcp\n", "x.conf:1: option \"protocol\" before any device line"},
      {"device only\n", "x.conf:1: a device line needs a name and a module"},
      {"# nothing\n\n", "x.conf:2: no device line in the file"},
      {"device a m\ndevice b m\n\ndevice a m\n",
       "x.conf:4: device name \"a\" is already used on line 1"},
  };
  for (const Case& c : cases) {
    ConfigFile config;
    std::string error;
    EXPECT_FALSE(parseConfigText(c.text, "x.conf", &config, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(ConfigFile, LimitsOfTheHostRecords) {
  std::string text = "device d motionstar\n";
  for (int i = 0; i < 32; ++i) text += "opt" + std::to_string(i) + "\n";
  ConfigFile config;
  std::string error;
  EXPECT_TRUE(parseConfigText(text, "x.conf", &config, &error)) << error;
  EXPECT_FALSE(parseConfigText(text + "one-too-many\n", "x.conf", &config, &error));
  EXPECT_EQ(error, "x.conf:34: more than 32 options for device \"d\"");

  std::string args;
  for (int i = 0; i < 64; ++i) args += " a";
  EXPECT_TRUE(
      parseConfigText("device d m" + args + "\nopt" + args + "\n", "x.conf", &config, &error));
  EXPECT_FALSE(parseConfigText("device d m" + args + " b\n", "x.conf", &config, &error));
  EXPECT_EQ(error, "x.conf:1: more than 64 arguments on the device line");
  EXPECT_FALSE(parseConfigText("device d m\nopt" + args + " b\n", "x.conf", &config, &error));
  EXPECT_EQ(error, "x.conf:2: more than 64 arguments on the option line");
}

TEST(ConfigFile, EntryPointsAtTheWordsOfTheBlock) {
  ConfigFile config;
  std::string error;
  ASSERT_TRUE(parseConfigText("device ms motionstar 3\nerc 2\ncalibration lib a b\n", "x.conf",
                              &config, &error));
  HostEntry host(config.devices[0]);
  const ConfigEntry& entry = *host.entry();
  EXPECT_EQ(entry.lineNumber, 1u);
  EXPECT_STREQ(entry.deviceName, "ms");
  EXPECT_STREQ(entry.secondText, "motionstar");
  EXPECT_EQ(entry.deviceArgCount, 1u);
  EXPECT_STREQ(entry.deviceArgs[0], "3");
  ASSERT_EQ(entry.optionCount, 2u);
  EXPECT_EQ(entry.options[1].lineNumber, 3u);
  EXPECT_STREQ(entry.options[1].name, "calibration");
  EXPECT_EQ(entry.options[1].argCount, 3u);
  EXPECT_STREQ(entry.options[1].args[2], "b");
  EXPECT_EQ(entry.options[1].recognised, 0);
}

}  // namespace
