#include "sim/replay_script.h"

#include <algorithm>
#include <cstdio>

#include "common/byte_order.h"
#include "sim/packets.h"
#include "sim/transport.h"

namespace sim {
namespace {

bool isReplyCode(uint8_t code) {
  return code == kWakeUpReply || code == kShutDownReply || code == kStatusReply ||
         code == kSetupReply || code == kRunReply || code == kStopReply;
}

bool carriesUnit(uint8_t code) {
  return code == kGetStatus || code == kSendSetup;
}

// A command as the capture holds it, with what the device sent after it.
struct Occurrence {
  Packet command;
  size_t frame;
  std::vector<Packet> answer;
};

// The block of the first error-free GET_STATUS reply in `answer`, if any.
bool statusBlockOf(const std::vector<Packet>& answer, Packet* block) {
  for (const Packet& reply : answer) {
    if (reply.size() <= kHeaderSize || reply[kTypeOffset] != kStatusReply ||
        reply[kErrorOffset] != 0) {
      continue;
    }
    const size_t count =
        std::min<size_t>(readU16be(&reply[kCountOffset]), reply.size() - kHeaderSize);
    block->assign(reply.begin() + kHeaderSize,
                  reply.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + count));
    return true;
  }
  return false;
}

}  // namespace

uint32_t answerKey(const Packet& command) {
  const uint8_t code = command[kTypeOffset];
  return (uint32_t{code} << 8) | (carriesUnit(code) ? command[kUnitOffset] : 0u);
}

std::string commandText(const Packet& command) {
  const uint8_t code = command[kTypeOffset];
  std::string text = commandName(code);
  if (carriesUnit(code)) text += " for unit " + std::to_string(command[kUnitOffset]);
  return text;
}

bool buildReplayScript(const CapturedSession& session, ReplayScript* script, std::string* problem) {
  *script = ReplayScript{};
  script->transport = session.transport;
  script->device = endpointText(session.device);
  script->notes = session.notes;

  std::vector<Occurrence> commands;
  bool streaming = false;
  int64_t lastStreamUs = 0;
  int64_t firstDataUs = -1;
  size_t strays = 0;
  for (const SessionPacket& packet : session.packets) {
    if (!packet.fromDevice) {
      commands.push_back(Occurrence{packet.bytes, packet.frame, {}});
      continue;
    }
    const uint8_t type = packet.bytes.size() > kTypeOffset ? packet.bytes[kTypeOffset] : 0;
    const bool reply = packet.bytes.size() >= kHeaderSize && isReplyCode(type);
    if (streaming && !reply) {
      script->data.push_back({std::max<int64_t>(0, packet.timeUs - lastStreamUs), packet.bytes});
      lastStreamUs = packet.timeUs;
      if (firstDataUs < 0) firstDataUs = packet.timeUs;
      script->streamUs = packet.timeUs - firstDataUs;
      continue;
    }
    if (commands.empty()) {
      ++strays;
      continue;
    }
    commands.back().answer.push_back(packet.bytes);
    if (!reply) continue;
    if (type == kRunReply && packet.bytes[kErrorOffset] == 0) {
      streaming = true;
      lastStreamUs = packet.timeUs;
    } else if (type == kStopReply || type == kShutDownReply) {
      streaming = false;
    }
  }

  if (commands.empty()) {
    *problem = "no command from a driver to the device " + script->device +
               " in the capture: it must hold both directions";
    return false;
  }
  if (strays > 0) {
    script->notes.push_back(std::to_string(strays) +
                            " packets from the device before the driver's first command left out");
  }
  for (size_t i = 0; i < commands.size(); ++i) {
    const Occurrence& occurrence = commands[i];
    const std::string what = commandText(occurrence.command);
    if (occurrence.answer.empty()) {
      if (i + 1 < commands.size()) {
        *problem = "no reply to " + what + " (packet " + std::to_string(occurrence.frame) +
                   ") before the driver's next command (packet " +
                   std::to_string(commands[i + 1].frame) + ")";
        return false;
      }
      script->notes.push_back("the capture ends before the reply to " + what + " (packet " +
                              std::to_string(occurrence.frame) + ")");
      continue;
    }
    const uint32_t key = answerKey(occurrence.command);
    script->answers[key].push_back(occurrence.answer);
    ++script->commands;
    Packet block;
    const int unit = occurrence.command[kUnitOffset];
    if (occurrence.command[kTypeOffset] == kGetStatus && script->blocks.count(unit) == 0 &&
        statusBlockOf(occurrence.answer, &block)) {
      script->blocks[unit] = block;
    }
  }
  if (script->answers.count(uint32_t{kWakeUp} << 8) == 0) {
    *problem = "no reply to WAKE_UP: the capture must begin before the driver wakes the system";
    return false;
  }
  // A capture usually ends before the host stops the device: its last two
  // commands get the plain replies a device gives.
  for (auto [command, reply] : {std::pair<uint8_t, uint8_t>{kStopData, kStopReply},
                                std::pair<uint8_t, uint8_t>{kShutDown, kShutDownReply}}) {
    std::vector<std::vector<Packet>>& answers = script->answers[uint32_t{command} << 8];
    if (answers.empty()) {
      answers.push_back({makeHeader(reply, 0, 0, 0)});
      script->notes.push_back(std::string("no ") + commandName(command) +
                              " in the capture: answered with a plain reply");
    }
  }
  return true;
}

bool loadReplayScript(const std::string& path, std::shared_ptr<const ReplayScript>* script,
                      std::string* error) {
  CaptureFile capture;
  CapturedSession session;
  auto built = std::make_shared<ReplayScript>();
  std::string problem;
  if (!readCaptureFile(path, &capture, &problem) || !extractSession(capture, &session, &problem) ||
      !buildReplayScript(session, built.get(), &problem)) {
    *error = path + ": " + problem;
    return false;
  }
  *script = std::move(built);
  return true;
}

std::string replaySummary(const ReplayScript& script) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(script.streamUs) / 1e6);
  return std::string(transportName(script.transport)) + " session with " + script.device + ": " +
         std::to_string(script.commands) + " commands answered, " +
         std::to_string(script.data.size()) + " data packets over " + seconds + " s";
}

}  // namespace sim
