// What init makes of a configuration: the device report, every device
// option fault with its line, and the refusals that keep a host safe.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "e2e/harness.h"
#include "support/plain_log.h"

namespace e2e {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

class Configuration : public ::testing::Test {
 protected:
  // init's result and every line it wrote.
  int32_t initWith(const std::string& config, std::string* output) {
    Device device(config, storages, &log);
    testing::internal::CaptureStdout();
    const int32_t result = device.init();
    *output = testing::internal::GetCapturedStdout();
    return result;
  }

  // A simulator that answers on one transport only; *address is where.
  static std::unique_ptr<sim::Simulator> simulatorOn(sim::Transport transport,
                                                     std::string* address) {
    sim::Config config;
    config.enableTcp = transport == sim::Transport::kTcp;
    config.enableUdp = !config.enableTcp;
    return startSimulator(config, address);
  }

  CLogH log = plainLog("ms");
  HostStorages storages{log};
};

TEST_F(Configuration, DefaultReportLineForLine) {
  std::string address;
  auto simulator = simulatorOn(sim::Transport::kTcp, &address);
  ASSERT_TRUE(simulator);
  std::string output;
  ASSERT_EQ(initWith("device tracking motionstar\nmotionstaraddress " + address + "\n", &output),
            1);
  EXPECT_EQ(lines(output), (std::vector<std::string>{
                               "ms: INFO: DEVICE NAME           : tracking",
                               "ms: INFO: DEVICE TYPE           : MotionStar(tm)",
                               "ms: INFO: VERSION               : 5.5",
                               "ms: INFO: DATA TYPE             : Tracker",
                               "ms: INFO: MOTIONSTAR ADDRESS    : " + address,
                               "ms: INFO: PROTOCOL              : TCP",
                               "ms: INFO: LOCAL PORT            : 9001",
                               "ms: INFO: ADDRESSING MODE       : Normal",
                               "ms: INFO: HEMISPHERE            : +Z",
                               "ms: INFO: SYNC TYPE             : Type1",
                               "ms: INFO: FILTER                : Unused",
                               "ms: INFO: MEASUREMENT RATE      : 086100",
                               "ms: INFO: REPORT RATE           : Every single sampling",
                               "ms: INFO: TRANSMITTER           : ERC on device ID:1",
                               "ms: INFO: NUMBER OF DEVICES     : 3",
                               "ms: INFO: NUMBER OF TRACKERS    : 2",
                               "ms: INFO: CAVE COORDINATES      : Used",
                               "ms: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>",
                               "ms: INFO:                       : 2->1 3->2",
                               "ms: INFO: -----------------------",
                           }));
}

TEST_F(Configuration, EveryOptionIsReportedAsSet) {
  std::string address;
  auto simulator = simulatorOn(sim::Transport::kUdp, &address);
  ASSERT_TRUE(simulator);
  std::string output;
  ASSERT_EQ(initWith("device d motionstar 3\n"
                     "motionstaraddress " +
                         address +
                         "\n"
                         "PROTOCOL UDP\nport 70000\naddressingmode super\nsync type2\nfilter on\n"
                         "erc 4\nhemisphere -y\nreportrate 32\nmeasurementrate 103300\n"
                         "alphamax 512 29491 1 2 3 4 0x10\nwanda 2\n",
                     &output),
            1);
  const std::vector<std::string> got = lines(output);
  const std::vector<std::string> head(got.begin(), got.begin() + 28);
  EXPECT_EQ(head, (std::vector<std::string>{
                      "ms: INFO: DEVICE NAME           : d",
                      "ms: INFO: DEVICE TYPE           : MotionStar(tm)",
                      "ms: INFO: VERSION               : 5.5",
                      "ms: INFO: DATA TYPE             : Tracker",
                      "ms: INFO: MOTIONSTAR ADDRESS    : " + address,
                      "ms: INFO: PROTOCOL              : UDP",
                      "ms: INFO: LOCAL PORT            : 4464",
                      "ms: INFO: ADDRESSING MODE       : Super",
                      "ms: INFO: HEMISPHERE            : -Y",
                      "ms: INFO: SYNC TYPE             : Type2",
                      "ms: INFO: FILTER                : Used",
                      "ms: INFO: MEASUREMENT RATE      : 103300",
                      "ms: INFO: REPORT RATE           : Every 32 samplings",
                      "ms: INFO: TRANSMITTER           : ERC on device ID:4",
                      "ms: INFO: ALPHA MAX             : 1: 0x0200",
                      "ms: INFO: ALPHA MAX             : 2: 0x7333",
                      "ms: INFO: ALPHA MAX             : 3: 0x0001",
                      "ms: INFO: ALPHA MAX             : 4: 0x0002",
                      "ms: INFO: ALPHA MAX             : 5: 0x0003",
                      "ms: INFO: ALPHA MAX             : 6: 0x0004",
                      "ms: INFO: ALPHA MAX             : 7: 0x0010",
                      "ms: INFO: NUMBER OF DEVICES     : 4",
                      "ms: INFO: NUMBER OF TRACKERS    : 3",
                      "ms: INFO: WANDA ATTACHED ON AUX : 2",
                      "ms: INFO: CAVE COORDINATES      : Used",
                      "ms: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>",
                      "ms: INFO:                       : 1->1 2->2 3->3",
                      "ms: INFO: -----------------------",
                  }));
}

// The names the report gives the remaining modes and rates.
TEST_F(Configuration, EveryModeAndRateHasItsName) {
  std::string address;
  auto simulator = simulatorOn(sim::Transport::kTcp, &address);
  ASSERT_TRUE(simulator);
  const struct {
    const char* options;
    std::vector<std::string> expected;
  } cases[] = {
      {"addressingmode expanded\nsync off\nreportrate 2\n",
       {"ms: INFO: ADDRESSING MODE       : Expanded", "ms: INFO: SYNC TYPE             : Off",
        "ms: INFO: REPORT RATE           : Every other sampling"}},
      {"addressingmode normal\nsync no\nreportrate 8\n",
       {"ms: INFO: ADDRESSING MODE       : Normal", "ms: INFO: SYNC TYPE             : Off",
        "ms: INFO: REPORT RATE           : Every 8 samplings"}},
  };
  for (const auto& c : cases) {
    std::string output;
    ASSERT_EQ(
        initWith("device d motionstar\nmotionstaraddress " + address + "\n" + c.options, &output),
        1);
    std::vector<std::string> named;
    for (const std::string& line : lines(output)) {
      if (line.find("MODE") != std::string::npos || line.find("SYNC") != std::string::npos ||
          line.find("REPORT RATE") != std::string::npos) {
        named.push_back(line);
      }
    }
    EXPECT_EQ(named, c.expected) << c.options;
  }
}

TEST_F(Configuration, EveryDeviceOptionFaultNamesItsLine) {
  std::string output;
  const char* config =
      "device d motionstar 2\n"
      "port\n"                      // 2
      "port 1 2\n"                  // 3
      "port abc\n"                  // 4
      "motionstaraddress\n"         // 5
      "protocol ftp\n"              // 6
      "addressingmode huge\n"       // 7
      "sync maybe\n"                // 8
      "filter 1\n"                  // 9
      "erc 4\n"                     // 10
      "erc 0\n"                     // 11
      "hemisphere q\n"              // 12
      "reportrate 0x20\n"           // 13
      "measurementrate 1 2\n"       // 14
      "alphamin 1 2 3 4 5 6\n"      // 15
      "alphamax 1 2 3 4 5 6 7 8\n"  // 16
      "vm 1 2 3 x 5 6 7\n"          // 17
      "wanda\n"                     // 18
      "measurementrate 86100\n";    // 19
  EXPECT_EQ(initWith(config, &output), -1);
  EXPECT_EQ(
      lines(output),
      (std::vector<std::string>{
          "ms: ERROR: CMotionStar: Incomplete option line found for Port at line 2.",
          "ms: ERROR: CMotionStar: Too many args found for Port at line 3.",
          "ms: ERROR: CMotionStar: Invalid arg found for Port at line 4.",
          "ms: ERROR: CMotionStar: Incomplete option line found for MotionstarAddress at line 5.",
          "ms: ERROR: CMotionStar: Invalid string found for Protocol at line 6.",
          "ms: ERROR: CMotionStar: Invalid string found for AddressingMode at line 7.",
          "ms: ERROR: CMotionStar: Invalid string found for Sync at line 8.",
          "ms: ERROR: CMotionStar: Invalid string found for Filter at line 9.",
          "ms: ERROR: CMotionStar: Invalid ID found for ERC at line 10.",
          "ms: ERROR: CMotionStar: Invalid ID found for ERC at line 11.",
          "ms: ERROR: CMotionStar: Invalid string found for Hemisphere at line 12.",
          "ms: ERROR: CMotionStar: Invalid string found for ReportRate at line 13.",
          "ms: ERROR: CMotionStar: Too many args found for MeasurementRate at line 14.",
          "ms: ERROR: CMotionStar: Incomplete option line found for AlphaMin at line 15.",
          "ms: ERROR: CMotionStar: Too many args found for AlphaMax at line 16.",
          "ms: ERROR: CMotionStar: Invalid arg found for VM at line 17.",
          "ms: ERROR: CMotionStar: Incomplete option line found for wanda at line 18.",
          "ms: ERROR: CMotionStar: Invalid arg found for MeasurementRate at line 19.",
      }));
}

TEST_F(Configuration, FaultsThatEndInitAtOnce) {
  std::string output;
  for (const char* count : {"0", "33", "-1", "two"}) {
    EXPECT_EQ(
        initWith(std::string("\n\ndevice d motionstar ") + count + "\nprotocol ftp\n", &output),
        -1);
    EXPECT_EQ(output, "ms: ERROR: CMotionStar: Invalid arg found for MotionStar at line 3.\n")
        << count;
  }
  // A bad wanda port stops the option loop: the fault after it is not read.
  EXPECT_EQ(initWith("device d motionstar\nprotocol ftp\nwanda 3\nsync maybe\n", &output), -1);
  EXPECT_EQ(lines(output),
            (std::vector<std::string>{
                "ms: ERROR: CMotionStar: Invalid string found for Protocol at line 2.",
                "ms: ERROR: CMotionStar: Invalid input port found for wanda at line (must be 1 or "
                "2) 3.",
            }));
}

TEST_F(Configuration, UnknownOptionFailsBeforeTheReport) {
  std::string output;
  EXPECT_EQ(initWith("device d motionstar\nmotionstaraddress 127.0.0.1\nhemisfere +z\n"
                     "controllerorder 1\n",
                     &output),
            -1);
  EXPECT_EQ(lines(output),
            (std::vector<std::string>{
                "ms: ERROR: CConfigH: Unknown option \"hemisfere\" found at line 3.",
                "ms: ERROR: CConfigH: Unknown option \"controllerorder\" found at line 4.",
            }));
}

TEST_F(Configuration, OverlongTextsAreRefused) {
  std::string output;
  const std::string longAddress(100, 'a');
  EXPECT_EQ(initWith("device d motionstar\nmotionstaraddress " + longAddress + "\n", &output), -1);
  EXPECT_EQ(output, "ms: ERROR: CMotionStar: Invalid arg found for MotionstarAddress at line 2.\n");
  EXPECT_EQ(initWith("device d motionstar\nmeasurementrate 0861000\n", &output), -1);
  EXPECT_EQ(output, "ms: ERROR: CMotionStar: Invalid arg found for MeasurementRate at line 2.\n");
}

TEST_F(Configuration, MissingStorages) {
  Device device("device d motionstar\nmotionstaraddress 127.0.0.1\nwanda 1\n", storages, &log);
  InitInfo info{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->init(&info), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: tracker data storage pointer is empty.\n");

  Device wand("device d motionstar\nmotionstaraddress 127.0.0.1\nwanda 1\n", storages, &log);
  info = storages.initInfo();
  info.controllerStorage = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(wand->init(&info), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: controller data storage pointer is empty.\n");
  EXPECT_EQ(storages.trackerCount(), 2u);  // the trackers were reserved before

  Device none("device d motionstar\n", storages, &log);
  testing::internal::CaptureStdout();
  EXPECT_EQ(none->init(nullptr), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: Init info is empty.\n");
}

TEST_F(Configuration, SecondInitIsRefused) {
  std::string address;
  auto simulator = simulatorOn(sim::Transport::kTcp, &address);
  ASSERT_TRUE(simulator);
  Device device("device d motionstar\nmotionstaraddress " + address + "\n", storages, &log);
  testing::internal::CaptureStdout();
  EXPECT_EQ(device.init(), 1);
  testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  EXPECT_EQ(device.init(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ms: ERROR: CMotionStar: The device has already been initialised.\n");
  EXPECT_EQ(storages.trackerCount(), 2u);  // reserved once
}

TEST_F(Configuration, OperationsBeforeInitFailCleanly) {
  Device device("device d motionstar\n", storages, &log);
  UpdatedMasks masks;
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->configure(), 0);
  EXPECT_FALSE(device->start());
  EXPECT_FALSE(device->stop());
  EXPECT_EQ(device.receive(&masks), -1);
  EXPECT_EQ(device->sendData(nullptr, nullptr), -1);
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(lines(output).size(), 5u) << output;
}

}  // namespace
}  // namespace e2e
