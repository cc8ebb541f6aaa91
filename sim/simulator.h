// A stand-in for the MotionStar tracking system: it answers the driver's
// commands over TCP and UDP, keeps system and unit status blocks that the
// driver's setup rewrites, streams data packets with moving sensors and wand
// bytes, and injects faults on request. Tests, the host's simulation mode and
// the mstar-sim program all use it.
//
// All socket work runs on one worker thread; the public functions are safe to
// call from any thread. Inside, each concern has its own files: packets.h
// (the wire), device_model.h (replies and blocks), stream.h (data packets,
// with trajectory.h and wand.h), transport.h (sockets), faults.h, and
// simulator_state.h with worker.cpp joining them up.
#ifndef MOTIONSTAR_SIM_SIMULATOR_H
#define MOTIONSTAR_SIM_SIMULATOR_H

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/distortion.h"
#include "sim/packets.h"
#include "sim/sensor_field.h"

namespace sim {

struct ReplayScript;

// What a unit's status block holds at start (data offsets 7..63).
struct UnitSetup {
  int8_t reportRate = 1;
  uint16_t scaling = 144;
  uint8_t hemisphere = 0;  // +X; the driver rewrites it
  std::array<uint16_t, 7> alphaMin{{0x0290, 0x0290, 0x0290, 0x0290, 0x0290, 0x0290, 0x0290}};
  std::array<uint16_t, 7> alphaMax{{0x1000, 0x1000, 0x1000, 0x1000, 0x1000, 0x1000, 0x1000}};
  std::array<uint16_t, 7> vm{{1, 2, 4, 8, 16, 32, 64}};
  std::array<int16_t, 3> angles{{0, 0, 0}};  // data offsets 58..63
};

// A fault that comes back at a fixed period, the first time `every` after
// start().
struct RepeatingFault {
  std::chrono::milliseconds every{0};   // 0: never
  std::chrono::milliseconds length{0};  // each time; shorter than `every`
};

struct Config {
  std::string address = "127.0.0.1";  // name or dotted IPv4 text to bind
  uint16_t tcpPort = 6000;            // 0: the kernel picks (read it back with tcpPort())
  uint16_t udpPort = 5000;
  bool enableTcp = true;
  bool enableUdp = true;

  // Units on the bus: FBB addresses 1..units (trackers + 1). The ERC sends no
  // data record; every other address is a sensor. 0 means no ERC on the bus.
  int units = 2;
  int ercAddress = 1;
  UnitSetup unitDefaults;
  // Per-address overrides, index = address - 1; missing entries take unitDefaults.
  std::vector<UnitSetup> unitSetups;

  uint8_t systemFlags = 0x84;  // running, master
  uint8_t transmitterNumber = 0;
  std::string measurementRate = "103300";  // exactly six ASCII digits
  int8_t chassisId = 0;
  // One byte per address; empty: ERC 0xD1 (bits 7, 6, 4, 0), sensors 0xE0 (bits 7, 6, 5).
  std::vector<uint8_t> deviceStatus;

  // Data packets per second while streaming; 0 = only on emitPackets().
  double rate = 0;
  // The sensors' paths: 0 keeps the fixed loops of unitWords(address,
  // index); any other seed gives each sensor a path of its own above the
  // transmitter, unitWords(seed, address, index).
  uint64_t seed = 0;
  // Positions as a magnetic tracker reports them: a sensor whose true
  // position lies outside its unit's hemisphere (the code SEND_SETUP
  // writes) reports the mirror image through the transmitter. Off, the
  // stream carries the true words as they stand.
  bool modelHemisphere = false;
  // Packets carry an aux record (with k = 0 when no wand bytes are due).
  bool auxRecord = true;
  // Wand bytes go into the aux record only with the wanda on.
  bool wanda = false;
  // Initial wand script: one group of bytes per data packet.
  std::vector<std::vector<uint8_t>> wandScript;
  // When the queued groups run out, start the script again.
  bool loopWandScript = false;

  // Capture: replay and recording (capture_reader.h says whether this build
  // has them). With a replay, the device side of a recorded session is
  // played: the bus, stream and wand settings above are not used.
  std::shared_ptr<const ReplayScript> replay;
  double replaySpeed = 1.0;  // 2 plays the capture's data packets twice as fast
  bool replayLoop = false;   // after the last data packet, the first again
  // Not empty: every packet in and out is written to this capture file.
  std::string recordPath;

  // Power cycles (length: the silence) and network outages that repeat on
  // their own, as powerCycle() and networkDown() would start them.
  RepeatingFault powerCycles;
  RepeatingFault networkOutages;

  // The room bends the field: every sensor reports its pose moved and
  // turned as FieldDistortion(seed, strength) says.
  DistortionSetting distortion;

  // Receives one line per event (connections, stream start and stop) and,
  // with verbose on, one line per packet received with its bytes in hex.
  std::function<void(const std::string&)> log;
  bool verbose = false;
};

enum class Transport { kTcp, kUdp };

// The length of Simulator::wandScript(): 10 s at 60 packets a second.
constexpr size_t kWandScriptPackets = 600;

// A command packet as it arrived.
struct Received {
  Transport transport;
  uint8_t code;         // header byte 8 (0 when fewer than 9 bytes arrived)
  uint8_t unitAddress;  // header byte 9
  std::vector<uint8_t> bytes;
};

// A fault on the reply to one command.
struct CommandFault {
  enum class Kind {
    kWrongTypes,   // `count` 16-byte packets of type `wrongType`, then the right reply
    kErrorCode,    // the right reply with `errorCode`; the command is not carried out
    kWakeUpError,  // WAKE_UP only: type 20 with `errorCode`; after the driver's STOP_DATA and
                   // SHUT_DOWN, a type-20 reply with error 0 follows without a new WAKE_UP
    kSilence,      // no reply, and the command is not carried out
    kSplit,        // the reply in two pieces: the first `splitAt` bytes, `pauseMs`, the rest
    kShort,        // only the first `length` bytes of the reply
  };
  Kind kind;
  int count = 1;
  uint8_t wrongType = 99;
  uint8_t errorCode = 1;  // kErrorCode, kWakeUpError: 0 is taken as 1
  size_t splitAt = 8;
  // Long enough for the first piece to reach a reader blocked in its receive
  // on its own, even on a busy machine.
  int32_t pauseMs = 50;
  size_t length = 15;
};

// A fault on one data packet of the stream.
struct DataFault {
  enum class Kind {
    kShort,            // only the first `length` bytes
    kOversized,        // `length` extra bytes after the aux record, counted in the header
    kBadUnitAddress,   // record `record` carries `unitAddress` (0, or above the bus)
    kGarbageAux,       // aux word count 15 and wand-byte count 255, both past the packet
    kNoAux,            // this packet without its aux record
    kDrop,             // not sent (its packet index is used up)
    kResetConnection,  // TCP: the connection is reset instead of sending; UDP: dropped
    kRepeatPoses,      // the same pose words (and index) as the packet before
  };
  Kind kind;
  size_t length = 10;
  int record = 0;
  uint8_t unitAddress = 0;
};

class Simulator {
 public:
  explicit Simulator(Config config);
  ~Simulator();  // stops
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Validates the configuration, binds the sockets and starts the worker.
  // On failure *error (when given) says why and nothing runs.
  bool start(std::string* error);
  // Ends the stream, closes every socket and joins the worker.
  void stop();

  // The ports actually bound (useful with port 0); 0 when not listening.
  uint16_t tcpPort() const;
  uint16_t udpPort() const;

  // The pose words of a sensor in packet `packetIndex`: x, y, z, azimuth,
  // elevation, roll. Smooth in the index, distinct per unit, and the same
  // on every call, so tests predict what the stream carries.
  static std::array<int16_t, 6> unitWords(int unitAddress, uint64_t packetIndex);
  // The true pose words of a sensor on the paths of `seed` (Config::seed);
  // seed 0 gives unitWords(unitAddress, packetIndex).
  static std::array<int16_t, 6> unitWords(uint64_t seed, int unitAddress, uint64_t packetIndex);
  // The bytes of one wand packet: a start byte with the motion's high bits
  // and the two buttons, the two motion bytes, and a fourth byte carrying
  // the fourth-byte button when fourthButton is 0 or 1 (-1: three bytes).
  static std::vector<uint8_t> wandPacket(int8_t motionX, int8_t motionY, bool firstButton,
                                         bool secondButton, int fourthButton);
  // A wand for Config::wandScript (looped): kWandScriptPackets four-byte wand
  // packets, one per data packet, whose two axes swing at different rates
  // and whose three buttons are each held down for a spell of 30 to 90
  // packets, at times of their own. Each seed gives another wand.
  static std::vector<std::vector<uint8_t>> wandScript(uint64_t seed);

  // Sends n data packets on the running stream and returns how many left
  // through the socket (dropped and reset ones are not counted); 0 when no
  // stream runs. Returns once the worker has handled them.
  int emitPackets(int n);
  // Appends one group of wand bytes; each data packet carries the next group.
  void queueWandBytes(std::vector<uint8_t> bytes);
  void setAuxRecord(bool on);

  // Holds the sensor of `unitAddress` at `truePose` (feet and degrees, as
  // the driver publishes poses without transforms) instead of on its path,
  // until released; a distortion still applies. *firstPacket (when given)
  // is the index of the first data packet that carries it. False, with
  // *error, when the address is no sensor of the running simulator or the
  // pose is beyond what the unit can report.
  bool placeSensor(int unitAddress, const Pose& truePose, uint64_t* firstPacket,
                   std::string* error);
  // The sensor goes back to its path.
  void releaseSensor(int unitAddress);

  // Faults, consumed in order: command faults by the next command of that code.
  void injectCommandFault(uint8_t commandCode, CommandFault fault);
  // Data faults by the next data packets, one each.
  void injectDataFault(DataFault fault);
  // While silent, UDP commands are logged but neither answered nor streamed to.
  void setUdpSilent(bool silent);
  // Resets the TCP connection now (the listener stays and accepts again).
  void resetTcpConnection();

  // Power failure: the system falls silent at once for `silent` (no reply,
  // no data; datagrams are lost, TCP connections are refused, and the one it
  // had is left unanswered and reset when the power is back), then it is in
  // its power-on state: the status blocks as configured, no stream, and no
  // reply to anything but WAKE_UP until a WAKE_UP comes. Injected faults stay
  // queued. A call while the power is off moves its return to `silent` from
  // now (0: at once). Returns once the power is off.
  void powerCycle(std::chrono::milliseconds silent);
  // Network failure: for `length` every packet is lost both ways, while the
  // system keeps its state and its stream (whose packets of that time are
  // lost). Over TCP the connection survives, as retransmission keeps it:
  // what the peer sent during the outage is read after it. A call during an
  // outage moves its end to `length` from now (0: at once).
  void networkDown(std::chrono::milliseconds length);
  // Waits until neither a power cycle nor a network outage cuts the system
  // off; false when the limit came first or the simulator is not running.
  bool waitUntilReachable(std::chrono::milliseconds limit) const;

  // Observation for tests.
  std::vector<Received> received() const;
  // Waits until at least `count` commands of `code` have arrived in all.
  bool waitForCommand(uint8_t code, int count, std::chrono::milliseconds limit) const;
  uint64_t packetsSent() const;
  // Index of the next data packet (every packet made so far, sent or not).
  uint64_t nextPacketIndex() const;
  bool streaming() const;
  // With a replay: every data packet of the capture has been sent, and the
  // replay does not loop.
  bool replayFinished() const;
  // The data block (without header) that GET_STATUS would return now:
  // unit address 0 for the system block. Empty for an address not on the
  // bus, and before start().
  std::vector<uint8_t> statusBlock(int unitAddress) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_SIMULATOR_H
