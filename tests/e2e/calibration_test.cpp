// A calibration library runs on every pose before the transforms; a library
// that lacks an entry point fails the call that needs it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "e2e/harness.h"
#include "support/plain_log.h"

namespace e2e {
namespace {

class Calibration : public ::testing::Test {
 protected:
  void start(const std::string& library, int32_t expectedInit = 1,
             const std::string& arguments = " one two") {
    sim::Config config;
    config.units = 3;
    config.enableUdp = false;
    std::string address;
    simulator = startSimulator(config, &address);
    ASSERT_TRUE(simulator);
    device = std::make_unique<Device>("device c motionstar 2\nmotionstaraddress " + address +
                                          "\ncalibration " + library + arguments + "\n",
                                      storages, &log);
    ASSERT_EQ(device->init(), expectedInit);
    if (expectedInit != 1) return;
    ASSERT_EQ((*device)->configure(), 2);
    ASSERT_TRUE((*device)->start());
  }

  // One packet; both trackers are published with x larger by shift feet.
  void expectShiftedX(double shift) {
    const uint64_t index = simulator->nextPacketIndex();
    ASSERT_EQ(simulator->emitPackets(1), 1);
    UpdatedMasks masks;
    ASSERT_EQ(device->receive(&masks), 1);
    for (uint32_t id = 1; id <= 2; ++id) {
      std::array<double, 6> want = expectedPose(sim::Simulator::unitWords(int(id) + 1, index));
      want[0] += shift;
      std::array<double, 6> got = publishedPose(storages.tracker(id));
      for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 2e-5) << id << " #" << i;
    }
  }

  CLogH log = plainLog("c");
  HostStorages storages{log};
  std::unique_ptr<sim::Simulator> simulator;
  std::unique_ptr<Device> device;
};

TEST_F(Calibration, ShiftedXReachesTheStorage) {
  start(CALIB_SHIFT_X);
  expectShiftedX(1.0);
  EXPECT_TRUE((*device)->stop());
}

TEST_F(Calibration, FieldCorrectionIsFoundByTheNameInTheConfiguration) {
  // No path: the module finds the library in its own folder.
  const std::string model = ::testing::TempDir() + "e2e_shift.model";
  std::ofstream(model) << "motionstar-field-model 1\nvolume -20 -20 -20 20 20 20\n"
                          "position poly\nterms 1\n0 0 0 0.5 0 0\n"
                          "orientation poly\nterms 1\n0 0 0 0 0 0\nend\n";
  start("field_correction", 1, " " + model);
  expectShiftedX(0.5);
  EXPECT_TRUE((*device)->stop());
}

TEST_F(Calibration, MissingEvaluateFailsEveryPacket) {
  start(CALIB_NO_EVALUATE);
  ASSERT_EQ(simulator->emitPackets(1), 1);
  UpdatedMasks masks;
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->receive(&masks), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "c: ERROR: CMotionStar: Calibration failed.\n"
            "c: ERROR: CMotionStar: Receiving data failed.\n");
  EXPECT_EQ(maskWord(masks.tracker), 0u);
  EXPECT_TRUE((*device)->stop());
}

TEST_F(Calibration, MissingExitFailsStopAfterTheSystemIsShutDown) {
  start(CALIB_NO_EXIT);
  EXPECT_FALSE((*device)->stop());
  EXPECT_TRUE(simulator->waitForCommand(sim::kShutDown, 1, std::chrono::seconds(5)));
}

TEST_F(Calibration, UnloadableLibraryFailsInitAfterTheReport) {
  testing::internal::CaptureStdout();
  start("/nonexistent/libcalib.so", -1);
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_NE(
      output.find("c: ERROR: CDynamicLibH: Can not load the library /nonexistent/libcalib.so\n"),
      std::string::npos);
  EXPECT_NE(output.find("c: INFO: -----------------------\n"), std::string::npos);
  EXPECT_EQ(simulator->received().size(), 0u);  // no connection was made
}

}  // namespace
}  // namespace e2e
