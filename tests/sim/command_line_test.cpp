// mstar-sim's command line.
#include "sim/command_line.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

int parse(std::vector<std::string> words, simcli::Options* options) {
  words.insert(words.begin(), "mstar-sim");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  return simcli::parseCommandLine(static_cast<int>(words.size()), argv.data(), options);
}

TEST(SimCommandLine, SeedsWandAndRepeatingFaults) {
  simcli::Options defaults;
  ASSERT_EQ(parse({}, &defaults), -1);
  EXPECT_EQ(defaults.config.seed, 1u);
  EXPECT_TRUE(defaults.config.modelHemisphere);
  EXPECT_EQ(defaults.config.powerCycles.every.count(), 0);
  EXPECT_TRUE(defaults.config.wandScript.empty());
  EXPECT_FALSE(defaults.config.distortion.on);
  EXPECT_EQ(defaults.controlPort, -1);

  simcli::Options options;
  ASSERT_EQ(parse({"--seed", "9", "--wanda", "--true-positions", "--power-cycle-every", "20s",
                   "--network-down-every", "1m,10s"},
                  &options),
            -1);
  EXPECT_EQ(options.config.seed, 9u);
  EXPECT_FALSE(options.config.modelHemisphere);
  EXPECT_EQ(options.config.wandScript, sim::Simulator::wandScript(9));
  EXPECT_TRUE(options.config.loopWandScript);
  EXPECT_EQ(options.config.powerCycles.every, milliseconds(20000));
  EXPECT_EQ(options.config.powerCycles.length, milliseconds(3000));
  EXPECT_EQ(options.config.networkOutages.every, milliseconds(60000));
  EXPECT_EQ(options.config.networkOutages.length, milliseconds(10000));

  simcli::Options room;
  ASSERT_EQ(parse({"--distortion", "5,0.5", "--control", "0"}, &room), -1);
  EXPECT_TRUE(room.config.distortion.on);
  EXPECT_EQ(room.config.distortion.seed, 5u);
  EXPECT_EQ(room.config.distortion.strength, 0.5);
  EXPECT_EQ(room.controlPort, 0);

  testing::internal::CaptureStderr();
  simcli::Options bad;
  EXPECT_EQ(parse({"--power-cycle-every", "2s,5s"}, &bad), simcli::kExitUsage);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "mstar-sim: --power-cycle-every: '2s,5s': each spell must end before the next "
            "begins\nTry 'mstar-sim --help' for more information.\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(parse({"--distortion", "5,20"}, &bad), simcli::kExitUsage);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "mstar-sim: --distortion: the strength must be a number from 0 to 10, not '20'\n"
            "Try 'mstar-sim --help' for more information.\n");
}

}  // namespace
