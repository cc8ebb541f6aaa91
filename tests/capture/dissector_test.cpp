// The Wireshark dissector on sessions the simulator recorded: tshark shows
// the commands and replies by name with their error codes, the status
// blocks the device sent and the driver wrote back, and for every data
// packet the positions (with the session's scale), angles and wand bytes
// the simulator sent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "capture/replay_rig.h"
#include "platform/child_process.h"

namespace capturetest {
namespace {

using sim::Transport;

const char* const kFields[] = {
    "frame.number",
    "motionstar.name",
    "motionstar.error",
    "motionstar.unit",
    "motionstar.preamble",
    "motionstar.system.measurement_rate",
    "motionstar.system.erc_address",
    "motionstar.unit.scaling",
    "motionstar.unit.hemisphere",
    "motionstar.record.address",
    "motionstar.record.scale",
    "motionstar.record.x",
    "motionstar.record.y",
    "motionstar.record.z",
    "motionstar.record.azimuth",
    "motionstar.record.elevation",
    "motionstar.record.roll",
    "motionstar.aux.wand_byte",
    "motionstar.wand.motion_x",
    "motionstar.wand.motion_y",
    "motionstar.wand.first_button",
    "motionstar.wand.second_button",
    "motionstar.wand.fourth_button",
};

// One row of tshark's output: each field's values.
using Row = std::map<std::string, std::vector<std::string>>;

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

// tshark with the dissector on `path`: one row per MotionStar packet.
std::vector<Row> dissect(const std::string& path) {
  std::vector<std::string> command = {TSHARK_PATH,
                                      "-r",
                                      path,
                                      "-X",
                                      std::string("lua_script:") + DISSECTOR_PATH,
                                      "-Y",
                                      "motionstar",
                                      "-T",
                                      "fields",
                                      "-E",
                                      "separator=|",
                                      "-E",
                                      "occurrence=a",
                                      "-E",
                                      "aggregator=,"};
  for (const char* field : kFields) {
    command.push_back("-e");
    command.push_back(field);
  }
  platform::ChildProcess tshark;
  std::vector<Row> rows;
  if (!tshark.start(command, false)) {
    ADD_FAILURE() << "tshark did not start";
    return rows;
  }
  for (std::string line; tshark.readLine(&line, 30000);) {
    const std::vector<std::string> values = split(line, '|');
    EXPECT_EQ(values.size(), std::size(kFields)) << line;
    Row row;
    for (size_t i = 0; i < values.size() && i < std::size(kFields); ++i) {
      row[kFields[i]] = values[i].empty() ? std::vector<std::string>{} : split(values[i], ',');
    }
    rows.push_back(row);
  }
  EXPECT_EQ(tshark.wait(30000), 0);
  return rows;
}

double number(const std::string& text) {
  return std::strtod(text.c_str(), nullptr);
}

// A word's value as the packet tables define it, worked out here.
double normalised(int16_t word) {
  return std::max(-1.0, std::min(1.0, word / 32767.0));
}

class Dissector : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    const std::string why = replaySkipReason();
    if (!why.empty()) GTEST_SKIP() << why;
    if (std::string(TSHARK_PATH).empty()) {
      GTEST_SKIP() << "tshark is not installed (Debian: tshark), so the dissector is not tried";
    }
  }
};

TEST_P(Dissector, ShowsTheValuesTheSimulatorSent) {
  const std::string path = scratchPath(std::string("dissected-") +
                                       (GetParam() == Transport::kTcp ? "tcp" : "udp") + ".pcap");
  LiveOptions options;
  options.scaling = 72;  // the setup selects 6 feet
  options.wakeUpError = 5;
  uint64_t firstIndex = 0;
  ASSERT_EQ(runLive(GetParam(), path, options, &firstIndex).size(),
            static_cast<size_t>(kLivePackets));
  const std::vector<Row> rows = dissect(path);
  ASSERT_GT(rows.size(), 8u);

  // The refused WAKE_UP and the recovery the driver runs.
  const std::vector<std::pair<std::string, std::string>> opening = {
      {"WAKE_UP", "0"},         {"WAKE_UP reply", "5"}, {"STOP_DATA", "0"},
      {"STOP_DATA reply", "0"}, {"SHUT_DOWN", "0"},     {"SHUT_DOWN reply", "0"},
      {"WAKE_UP reply", "0"},   {"GET_STATUS", "0"}};
  for (size_t i = 0; i < opening.size(); ++i) {
    EXPECT_EQ(rows[i].at("motionstar.name"), std::vector<std::string>{opening[i].first}) << i;
    EXPECT_EQ(rows[i].at("motionstar.error"), std::vector<std::string>{opening[i].second}) << i;
  }

  int data = 0;
  std::map<std::string, int> blocks;
  for (const Row& row : rows) {
    const std::string name = row.at("motionstar.name").at(0);
    const std::string unit = row.at("motionstar.unit").at(0);
    if (name == "GET_STATUS reply" || name == "SEND_SETUP") {
      const bool reply = name == "GET_STATUS reply";
      ++blocks[name + " " + unit];
      if (unit == "0") {
        // The simulator's rate, and the driver's default written back.
        EXPECT_EQ(row.at("motionstar.system.measurement_rate"),
                  std::vector<std::string>{reply ? "103300" : "086100"});
        EXPECT_EQ(row.at("motionstar.system.erc_address"), std::vector<std::string>{"1"});
      } else {
        EXPECT_EQ(row.at("motionstar.unit.scaling"), std::vector<std::string>{"72"});
        EXPECT_EQ(row.at("motionstar.unit.hemisphere"),
                  std::vector<std::string>{reply ? "0" : "3"});  // +X reported, +Z written
      }
    }
    if (name != "DATA") continue;
    SCOPED_TRACE("data packet " + std::to_string(data));
    const uint64_t index = firstIndex + static_cast<uint64_t>(data);
    // The simulator numbers its data packets in the header's first bytes.
    EXPECT_EQ(std::strtoull(row.at("motionstar.preamble").at(0).substr(0, 8).c_str(), nullptr, 16),
              index);
    EXPECT_EQ(row.at("motionstar.record.address"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(row.at("motionstar.record.scale"), (std::vector<std::string>{"6", "6"}));
    const char* const poseFields[] = {"motionstar.record.x",         "motionstar.record.y",
                                      "motionstar.record.z",         "motionstar.record.azimuth",
                                      "motionstar.record.elevation", "motionstar.record.roll"};
    for (int unit : {2, 3}) {
      const std::array<int16_t, 6> words = sim::Simulator::unitWords(unit, index);
      for (int w = 0; w < 6; ++w) {
        const double want = normalised(words[w]) * (w < 3 ? 6.0 : 180.0);
        EXPECT_NEAR(number(row.at(poseFields[w]).at(static_cast<size_t>(unit - 2))), want, 1e-4)
            << poseFields[w] << " of unit " << unit;
      }
    }
    std::vector<uint8_t> wandBytes;
    for (const std::string& byte : row.at("motionstar.aux.wand_byte")) {
      wandBytes.push_back(static_cast<uint8_t>(std::strtoul(byte.c_str(), nullptr, 0)));
    }
    EXPECT_EQ(wandBytes, liveWandBytes(data));
    const LiveWand wand = liveWand(data);
    EXPECT_EQ(row.at("motionstar.wand.motion_x"),
              std::vector<std::string>{std::to_string(wand.motionX)});
    EXPECT_EQ(row.at("motionstar.wand.motion_y"),
              std::vector<std::string>{std::to_string(wand.motionY)});
    EXPECT_EQ(row.at("motionstar.wand.first_button"),
              std::vector<std::string>{wand.firstButton ? "1" : "0"});
    EXPECT_EQ(row.at("motionstar.wand.second_button"),
              std::vector<std::string>{wand.secondButton ? "1" : "0"});
    EXPECT_EQ(row.at("motionstar.wand.fourth_button"),
              std::vector<std::string>{std::to_string(wand.fourthButton)});
    ++data;
  }
  EXPECT_EQ(data, kLivePackets);
  EXPECT_EQ(blocks, (std::map<std::string, int>{{"GET_STATUS reply 0", 1},
                                                {"GET_STATUS reply 2", 1},
                                                {"GET_STATUS reply 3", 1},
                                                {"SEND_SETUP 0", 1},
                                                {"SEND_SETUP 2", 1},
                                                {"SEND_SETUP 3", 1}}));
}

INSTANTIATE_TEST_SUITE_P(Transports, Dissector, ::testing::Values(Transport::kTcp, Transport::kUdp),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           return std::string(info.param == Transport::kTcp ? "Tcp" : "Udp");
                         });

}  // namespace
}  // namespace capturetest
