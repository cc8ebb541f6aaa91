// The simulator's capture side: a replay answers commands and streams from
// a recorded session, and a recording writes what the sockets carry.
#include "sim/packets.h"
#include "sim/simulator_state.h"

namespace sim {

bool Simulator::State::prepareCapture(std::string* error) {
  replayDevice.reset();
  replayStream.reset();
  replayEndTold = false;
  source = &generated;
  if (config.replay) {
    replayDevice = std::make_unique<ReplayDevice>(config.replay);
    replayStream =
        std::make_unique<ReplayStream>(config.replay, config.replaySpeed, config.replayLoop);
    source = replayStream.get();
  }
  recorder.reset();
  if (!config.recordPath.empty()) {
    auto opened = std::make_unique<CaptureRecorder>();
    std::string why;
    if (!opened->open(config.recordPath, &why)) {
      *error = "cannot record into " + config.recordPath + ": " + why;
      return false;
    }
    recorder = std::move(opened);
  }
  sockets.setTap(recorder.get());
  return true;
}

void Simulator::State::answerFromCapture(const Peer& from, const std::vector<uint8_t>& command,
                                         std::vector<Outgoing>* out) {
  const std::vector<Packet> answer = replayDevice->answer(command);
  if (answer.empty()) {
    lines.push_back("no reply to " + commandText(command) + " in the capture: not answered");
    return;
  }
  for (const Packet& packet : answer) out->push_back(Outgoing{from, packet});
  replayDevice->carryOut(command, answer);
  if (ReplayDevice::startsStream(answer)) {
    replayStream->start(from, Clock::now());
    lines.push_back(std::string("replayed data stream started on ") +
                    transportName(from.transport));
  } else if (ReplayDevice::stopsStream(answer) && replayStream->stop()) {
    lines.push_back("data stream stopped");
  }
}

void Simulator::State::noteReplayEnd() {
  if (replayEndTold || !replayStream->finished()) return;
  replayEndTold = true;
  lines.push_back("replay: all " + std::to_string(config.replay->data.size()) +
                  " data packets of the capture sent");
}

}  // namespace sim
