// Writes the seed corpora of the fuzz targets from the simulator's own
// packets: real data packets, replies and status blocks, and configuration
// lines of every option. Usage: fuzz_make_seeds DIR (makes DIR/<target>/).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/device_model.h"
#include "sim/packets.h"
#include "sim/simulator.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

fs::path root;

void write(const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(root / target);
  std::ofstream out(root / target / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void append(Bytes& to, const Bytes& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

// A piece for the targets that read pieces: 16-bit length (bit 15 a flag).
void appendPiece(Bytes& to, const Bytes& piece, bool flag = false) {
  to.push_back(static_cast<uint8_t>((piece.size() >> 8) | (flag ? 0x80 : 0)));
  to.push_back(static_cast<uint8_t>(piece.size()));
  append(to, piece);
}

// A data packet as the simulator's stream makes it for these sensors.
Bytes dataPacket(uint64_t index, const std::vector<int>& sensors, const Bytes& aux) {
  std::vector<sim::UnitRecord> records;
  for (int address : sensors)
    records.push_back({address, sim::Simulator::unitWords(address, index)});
  return sim::makeDataPacket(index, records, aux);
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// Sensor addresses of the fuzzed device set-ups (fuzz_data_packet.cpp).
struct Setup {
  std::vector<int> sensors;
  bool wanda;
};

std::vector<int> range(int first, int last) {
  std::vector<int> out;
  for (int a = first; a <= last; ++a) out.push_back(a);
  return out;
}

void dataSeeds() {
  const Setup setups[] = {{{2, 3}, true},
                          {{1}, false},
                          {range(2, 33), true},
                          {{1, 2, 4, 5, 6}, true},
                          {range(2, 5), false}};
  for (int v = 0; v < 5; ++v) {
    const Setup& setup = setups[v];
    const Bytes wand1 = sim::Simulator::wandPacket(5, -3, true, false, 1);
    const Bytes wand2 = sim::Simulator::wandPacket(-40, 12, false, true, -1);
    auto packet = [&](uint64_t index, const Bytes& wand) {
      return dataPacket(index, setup.sensors, sim::makeAuxRecord(setup.wanda ? wand : Bytes{}));
    };
    const std::string prefix = "v" + std::to_string(v) + "_";

    Bytes good{static_cast<uint8_t>(v)};
    appendPiece(good, packet(0, wand1));
    appendPiece(good, packet(1, Bytes(wand2.begin(), wand2.begin() + 2)));
    appendPiece(good, packet(2, Bytes(wand2.begin() + 2, wand2.end())));
    appendPiece(good, packet(3, {}));
    write("data_packet", prefix + "good", good);

    Bytes faults{static_cast<uint8_t>(v + 5)};
    Bytes shortPacket = packet(4, wand1);
    shortPacket.resize(30);
    appendPiece(faults, shortPacket);
    Bytes oversized = packet(5, wand1);
    oversized.insert(oversized.end(), 40, 0x5A);
    const size_t count = oversized.size() - 16;
    oversized[14] = static_cast<uint8_t>(count >> 8);
    oversized[15] = static_cast<uint8_t>(count);
    appendPiece(faults, oversized);
    Bytes badUnit = packet(6, wand1);
    badUnit[16] = 0x7F;
    appendPiece(faults, badUnit);
    Bytes garbageAux = packet(7, wand1);
    const size_t aux = 16 + 14 * setup.sensors.size();
    garbageAux[aux + 1] = 0x0F;
    garbageAux.back() = 0xFF;
    appendPiece(faults, garbageAux);
    appendPiece(faults, dataPacket(8, setup.sensors, {}));
    appendPiece(faults, packet(9, wand1), true);
    appendPiece(faults, packet(10, wand2));
    write("data_packet", prefix + "faults", faults);
  }
}

void replySeeds() {
  struct Exchange {
    uint8_t selector;
    uint8_t reply;
  };
  const Exchange simple[] = {
      {0, sim::kWakeUpReply}, {1, sim::kShutDownReply}, {2, sim::kRunReply}, {3, sim::kStopReply}};
  sim::Config config;
  config.units = 3;
  const Bytes systemBlock = sim::makeSystemBlock(config);
  const Bytes unitBlock = sim::makeUnitBlock(sim::UnitSetup{});
  auto status = [&](uint8_t unit) {
    const Bytes& block = unit == 0 ? systemBlock : unitBlock;
    Bytes packet = sim::makeHeader(sim::kStatusReply, unit, 0, static_cast<uint16_t>(block.size()));
    append(packet, block);
    return packet;
  };
  for (int tcp = 0; tcp < 2; ++tcp) {
    const uint8_t transport = tcp ? 0x08 : 0x00;
    const std::string prefix = tcp ? "tcp_" : "udp_";
    for (const Exchange& e : simple) {
      Bytes seed{static_cast<uint8_t>(e.selector | transport)};
      appendPiece(seed, sim::makeHeader(99, 0, 0, 0));
      appendPiece(seed, sim::makeHeader(e.reply, 0, 0, 0));
      write("command_reply", prefix + "simple" + std::to_string(e.selector), seed);
      Bytes error{static_cast<uint8_t>(e.selector | transport)};
      appendPiece(error, sim::makeHeader(e.reply, 0, 5, 0));
      appendPiece(error, sim::makeHeader(sim::kStopReply, 0, 0, 0));
      appendPiece(error, sim::makeHeader(sim::kShutDownReply, 0, 0, 0));
      appendPiece(error, sim::makeHeader(e.reply, 0, 0, 0));
      write("command_reply", prefix + "error" + std::to_string(e.selector), error);
    }
    // A data packet of a running stream ahead of the reply.
    Bytes afterData{static_cast<uint8_t>(3 | transport)};
    appendPiece(afterData, dataPacket(1, {2, 3}, sim::makeAuxRecord({})));
    appendPiece(afterData, sim::makeHeader(sim::kStopReply, 0, 0, 0));
    write("command_reply", prefix + "after_data", afterData);
    for (uint8_t unit : {0, 2}) {
      const uint8_t unitBits = static_cast<uint8_t>(unit << 4);
      Bytes get{static_cast<uint8_t>(4 | transport | unitBits)};
      appendPiece(get, status(unit));
      write("command_reply", prefix + "status" + std::to_string(unit), get);
      Bytes setup{static_cast<uint8_t>((unit == 0 ? 5 : 6) | transport | unitBits)};
      appendPiece(setup, sim::makeHeader(77, 0, 0, 0));
      appendPiece(setup, status(unit));
      appendPiece(setup, sim::makeHeader(sim::kSetupReply, unit, 0, 0));
      write("command_reply", prefix + "setup" + std::to_string(unit), setup);
      Bytes report{static_cast<uint8_t>(7 | transport | unitBits)};
      appendPiece(report, status(unit));
      write("command_reply", prefix + "report" + std::to_string(unit), report);
    }
  }
}

void statusSeeds() {
  sim::Config config;
  config.units = 5;
  const Bytes blocks[] = {sim::makeSystemBlock(config), sim::makeUnitBlock(sim::UnitSetup{})};
  const uint8_t flags[] = {0x01, 0x5A, 0xFF};
  int n = 0;
  for (const Bytes& block : blocks) {
    for (uint8_t f : flags) {
      Bytes seed{f};
      append(seed, text("086100"));
      seed.resize(11, 0);
      append(seed, sim::makeHeader(sim::kStatusReply, 0, 0, static_cast<uint16_t>(block.size())));
      append(seed, block);
      write("status_block", "block" + std::to_string(n++), seed);
    }
  }
}

void optionSeeds() {
  const std::string device =
      "2\nport 9002\nmotionstaraddress 10.0.0.1\nprotocol tcp\naddressingmode expanded\n"
      "sync type2\nfilter on\nerc 3\nhemisphere -y\nreportrate 8\nmeasurementrate 103300\n"
      "alphamin 1 2 3 4 5 6 7\nalphamax 0x10 0x20 0 0 0 0 010\nvm 1 1 1 1 1 1 1\nwanda 2\n";
  const std::string tracker =
      "3\ntransmitteroffset 1 2 3 inches\ntransmitterrotation 0 0 1 90\n"
      "transmitterrotationmatrix 1 0 0 0 1 0 0 0 1\nsensoroffset 2 1 1 1 cm\n"
      "sensortranslation 1 0.1 0.2 0.3 m\nsensorrotation 3 1 0 0 45\n"
      "sensorrotationmatrix 1 0 1 0 -1 0 0 0 0 1\ncalibration x a b c\norder 3 1 2\n"
      "cavecoord off\n";
  const std::string controller =
      "2\nemulatetracker 1 [1,2,3,4,5,6] 1 2 0 0 0 0 3\nvaluatororder 1 2 1\n"
      "buttonorder 1 3 1 2\nvaluatorscale 1 [0,0,2.5,0] all\nvaluatorscale 1 2 1\n"
      "controllerorder 1\n";
  const std::string faults =
      "0\nport abc\nprotocol ftp\nerc 9\nreportrate 0x20\nalphamin 1 2 3\nwanda 3\n"
      "sensoroffset 9 1 2 3\ncalibration\nbuttonorder 1 1 1\nvaluatorscale 1 [0,0,0,0] 1\n"
      "emulatetracker 1\nunknownoption 1\n";
  int n = 0;
  for (uint8_t setup = 0; setup < 12; ++setup) {
    for (const std::string& body : {device, tracker, controller, faults}) {
      Bytes seed{static_cast<uint8_t>(setup | (setup >= 6 ? 0x40 : 0)), 0x11};
      append(seed, text(body));
      write("options", "config" + std::to_string(n++), seed);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_make_seeds DIR\n");
    return 2;
  }
  root = argv[1];
  dataSeeds();
  replySeeds();
  statusSeeds();
  optionSeeds();
  return 0;
}
