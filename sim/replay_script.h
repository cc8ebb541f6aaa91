// A recorded session turned into what the replay plays: the device's
// answers to each kind of command, the status blocks as the device first
// reported them, and the data packets with the time between them.
#ifndef MOTIONSTAR_SIM_REPLAY_SCRIPT_H
#define MOTIONSTAR_SIM_REPLAY_SCRIPT_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/capture_session.h"

namespace sim {

using Packet = std::vector<uint8_t>;

struct ReplayScript {
  // Every packet the device sent between one command and the next (data
  // packets aside), for each occurrence of a command, in capture order.
  // The key: the command code, and for GET_STATUS and SEND_SETUP the unit.
  std::map<uint32_t, std::vector<std::vector<Packet>>> answers;
  // The data part of the first good GET_STATUS reply for each unit address.
  std::map<int, Packet> blocks;

  struct DataPacket {
    // After the previous data packet, or after the RUN_CONTINUOUS reply for
    // the first packet of a stream.
    int64_t delayUs = 0;
    Packet bytes;
  };
  std::vector<DataPacket> data;

  // What the capture was of, for the summary.
  Transport transport = Transport::kTcp;
  std::string device;
  size_t commands = 0;
  int64_t streamUs = 0;  // from the first data packet to the last
  // What was mended, synthesised or left out, one line each.
  std::vector<std::string> notes;
};

// The key of `command` (at least a header's length) in ReplayScript::answers.
uint32_t answerKey(const Packet& command);
// "GET_STATUS for unit 2", "WAKE_UP", ... for messages.
std::string commandText(const Packet& command);

// Builds the script. False with *problem naming the first command that got
// no reply, or the lack of commands or of a WAKE_UP reply.
bool buildReplayScript(const CapturedSession& session, ReplayScript* script, std::string* problem);

// Reads and checks a capture file, for mstar-sim --replay and mstar-host
// --replay. On failure *error starts with the path and names the problem.
bool loadReplayScript(const std::string& path, std::shared_ptr<const ReplayScript>* script,
                      std::string* error);

// One line on what the script holds: transport, device, commands, data packets.
std::string replaySummary(const ReplayScript& script);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_REPLAY_SCRIPT_H
