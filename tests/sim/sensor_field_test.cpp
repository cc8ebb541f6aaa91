// Placed and distorted sensors: the words a unit reports for a pose, the
// --distortion and control-port texts, and the control port over loopback.
#include "sim/sensor_field.h"

#include <gtest/gtest.h>

#include <cmath>

#include "client.h"
#include "sim/control_port.h"
#include "sim/device_model.h"
#include "sim/stream.h"
#include "sim/trajectory.h"

namespace {

using Words = std::array<int16_t, 6>;

std::vector<uint8_t> unitBlock(uint16_t scaling, std::array<int16_t, 3> angles) {
  sim::UnitSetup setup;
  setup.scaling = scaling;
  setup.angles = angles;
  return sim::makeUnitBlock(setup);
}

void expectPoseNear(const sim::Pose& got, const sim::Pose& want, double feet, double degrees) {
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got.position[k], want.position[k], feet) << k;
  EXPECT_NEAR(got.azimuth, want.azimuth, degrees);
  EXPECT_NEAR(got.elevation, want.elevation, degrees);
  EXPECT_NEAR(got.roll, want.roll, degrees);
}

TEST(SensorField, TheUnitBlockSaysHowPosesBecomeWords) {
  const sim::Pose pose{{1.5, -2.25, 5.0}, 30.0, -45.0, 170.0};
  // The driver's CAVE alignment: azimuth and roll travel negated.
  const sim::WordFrame cave = sim::wordFrame(unitBlock(72, {16383, 0, -16384}));
  EXPECT_EQ(cave.scale, 6.0);
  EXPECT_TRUE(cave.caveAngles);
  const Words caveWords = sim::wordsOfPose(pose, cave);
  EXPECT_EQ(caveWords[0], 8192);  // 1.5 ft of 6
  EXPECT_LT(caveWords[3], 0);
  EXPECT_GT(caveWords[4], -16384 - 2);
  EXPECT_LT(caveWords[5], 0);
  expectPoseNear(sim::poseOfWords(caveWords, cave), pose, 6.0 / 32767, 180.0 / 32767);

  // Alignment cleared and a scaling the driver does not know: 12 ft, plain angles.
  const sim::WordFrame plain = sim::wordFrame(unitBlock(100, {0, 0, 0}));
  EXPECT_EQ(plain.scale, 12.0);
  EXPECT_FALSE(plain.caveAngles);
  const Words plainWords = sim::wordsOfPose(pose, plain);
  EXPECT_GT(plainWords[3], 0);
  expectPoseNear(sim::poseOfWords(plainWords, plain), pose, 12.0 / 32767, 180.0 / 32767);

  // Beyond full scale a unit saturates; angles wrap.
  const Words far = sim::wordsOfPose({{-40, 13, 0}, 190, 0, -190}, plain);
  EXPECT_EQ(far[0], -32768);
  EXPECT_EQ(far[1], 32767);
  EXPECT_NEAR(far[3], -170.0 / 180 * 32767, 1);
  EXPECT_NEAR(far[5], 170.0 / 180 * 32767, 1);

  EXPECT_EQ(sim::placementProblem(pose, cave), "");
  EXPECT_NE(sim::placementProblem({{6.5, 0, 0}, 0, 0, 0}, cave).find("full-scale range of 6 ft"),
            std::string::npos);
  EXPECT_NE(sim::placementProblem({{0, 0, 0}, 0, 91, 0}, cave), "");
  EXPECT_NE(sim::placementProblem({{0, 0, std::nan("")}, 0, 0, 0}, cave), "");
}

TEST(SensorField, StreamCarriesPlacedAndDistortedPoses) {
  sim::Config config;
  config.units = 3;
  config.seed = 4;
  config.unitDefaults.angles = {16383, 0, -16384};
  config.distortion = {true, 11, 1.0};
  sim::DeviceModel device(config);
  sim::DataStream stream(config, &device);
  stream.restart(device.sensors());
  const sim::WordFrame frame = sim::wordFrame(device.statusBlock(2));
  const sim::FieldDistortion room(11);

  // A path sensor reports its path's pose as the room bends it.
  const Words path = sim::trajectoryWords(4, 3, 0);
  const sim::Pose pathTruth = sim::poseOfWords(path, frame);
  // A placed one reports the bent placed pose; the other keeps its path.
  const sim::Pose placed{{4.0, -3.0, 2.0}, 100.0, 20.0, -60.0};
  stream.place(2, placed);
  std::vector<uint8_t> packet = stream.nextPacket(nullptr);
  auto wordsAt = [&packet](size_t record) {
    Words w;
    for (size_t i = 0; i < 6; ++i) {
      const size_t at = sim::kHeaderSize + record * sim::kUnitRecordSize + 2 + 2 * i;
      w[i] = static_cast<int16_t>(packet[at] << 8 | packet[at + 1]);
    }
    return w;
  };
  const double feet = 12.0 / 32767, degrees = 180.0 / 32767;
  // A placed sensor jitters by a few counts (at most 9), and differs from
  // packet to packet, so the driver keeps publishing it.
  expectPoseNear(sim::poseOfWords(wordsAt(0), frame), room.measure(placed), 10 * feet,
                 10 * degrees);
  expectPoseNear(sim::poseOfWords(wordsAt(1), frame), room.measure(pathTruth), feet, degrees);
  const Words firstPlaced = wordsAt(0);
  packet = stream.nextPacket(nullptr);
  EXPECT_NE(wordsAt(0), firstPlaced);
  expectPoseNear(sim::poseOfWords(wordsAt(0), frame), room.measure(placed), 10 * feet,
                 10 * degrees);
  // The room at 5 ft moves positions by inches: far more than a count.
  const sim::Vec3 shift = room.displacement(placed.position);
  EXPECT_GT(std::sqrt(shift[0] * shift[0] + shift[1] * shift[1] + shift[2] * shift[2]), 1.0 / 12);

  stream.release(2);
  packet = stream.nextPacket(nullptr);
  expectPoseNear(sim::poseOfWords(wordsAt(0), frame),
                 room.measure(sim::poseOfWords(sim::trajectoryWords(4, 2, 2), frame)), feet,
                 degrees);
}

TEST(SensorField, DistortionTextAndControlCommands) {
  sim::DistortionSetting setting;
  std::string why;
  ASSERT_TRUE(sim::parseDistortion("42", &setting, &why));
  EXPECT_TRUE(setting.on);
  EXPECT_EQ(setting.seed, 42u);
  EXPECT_EQ(setting.strength, 1.0);
  ASSERT_TRUE(sim::parseDistortion("4294967295,2.5", &setting, &why));
  EXPECT_EQ(setting.seed, 4294967295u);
  EXPECT_EQ(setting.strength, 2.5);
  for (const char* bad : {"", "-1", "4294967296", "x", "3,", "3,-1", "3,11", "3,nan", "3,1,2"}) {
    EXPECT_FALSE(sim::parseDistortion(bad, &setting, &why)) << bad;
    EXPECT_FALSE(why.empty());
  }

  sim::Config config;
  config.tcpPort = config.udpPort = 0;
  config.units = 3;
  sim::Simulator simulator(config);
  EXPECT_EQ(sim::controlReply(simulator, "place 2 1 2 3 0 0 0"),
            "error unit 2 is no sensor on the bus")
      << "not started";
  ASSERT_TRUE(simulator.start(&why)) << why;
  EXPECT_EQ(sim::controlReply(simulator, " place 3 1 2 3 10 20 30 "), "ok placed 3 from packet 0");
  EXPECT_EQ(sim::controlReply(simulator, "place 1 1 2 3 10 20 30"),
            "error unit 1 is no sensor on the bus");
  EXPECT_EQ(sim::controlReply(simulator, "place 2 1 2 3 10 20"),
            "error usage: place UNIT X Y Z AZIMUTH ELEVATION ROLL");
  EXPECT_EQ(sim::controlReply(simulator, "place 2 1 2 3 10 20 inf"),
            "error usage: place UNIT X Y Z AZIMUTH ELEVATION ROLL");
  EXPECT_EQ(sim::controlReply(simulator, "release 3"), "ok released 3");
  EXPECT_EQ(sim::controlReply(simulator, "release"), "error usage: release UNIT");
  EXPECT_EQ(sim::controlReply(simulator, "jump 3").rfind("error unknown command", 0), 0u);
}

TEST(SensorField, ControlPortAnswersDatagramsOnLoopback) {
  sim::Config config;
  config.tcpPort = config.udpPort = 0;
  sim::Simulator simulator(config);
  std::string why;
  ASSERT_TRUE(simulator.start(&why)) << why;
  sim::ControlPort control(simulator);
  ASSERT_TRUE(control.start(0, &why)) << why;
  ASSERT_NE(control.port(), 0);
  simtest::Client client(sim::Transport::kUdp, control.port());
  ASSERT_TRUE(client.ok());
  const std::string command = "place 2 0.5 0.5 0.5 0 0 0";
  ASSERT_TRUE(client.send({command.begin(), command.end()}));
  const std::vector<uint8_t> reply = client.receiveOnce();
  EXPECT_EQ(std::string(reply.begin(), reply.end()), "ok placed 2 from packet 0");
  control.stop();
  EXPECT_EQ(control.port(), 0);
}

}  // namespace
