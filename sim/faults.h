// Faults injected on purpose: the queues that hold them until their command
// or data packet comes, and what each does to the packets that go out.
#ifndef MOTIONSTAR_SIM_FAULTS_H
#define MOTIONSTAR_SIM_FAULTS_H

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "sim/simulator.h"
#include "sim/transport.h"

namespace sim {

class Faults {
 public:
  void addCommandFault(uint8_t commandCode, const CommandFault& fault);
  void addDataFault(const DataFault& fault);
  // The next fault for a command of `code` or for a data packet, taken off
  // its queue.
  std::optional<CommandFault> takeCommandFault(uint8_t commandCode);
  std::optional<DataFault> takeDataFault();

  // Queues what answers a command of `code` with `reply` (the device's own)
  // when `fault` (may be null) strikes: packets of a wrong type first, the
  // fault's error code, the reply cut short or in two pieces. Returns
  // whether the reply went out without an error, so that the command takes
  // effect.
  bool answer(const CommandFault* fault, uint8_t code, const Peer& to, std::vector<uint8_t> reply,
              std::vector<Outgoing>* out);
  // After a good SHUT_DOWN reply: whether a WAKE_UP that was answered with
  // an error is now finished by the system, its good reply following.
  bool takeFinishedWakeUp(uint8_t code);

  // While silent, UDP commands are logged but neither answered nor streamed to.
  bool udpSilent() const { return udpSilent_; }
  void setUdpSilent(bool silent) { udpSilent_ = silent; }

 private:
  std::map<uint8_t, std::deque<CommandFault>> commandFaults_;
  std::deque<DataFault> dataFaults_;
  bool udpSilent_ = false;
  bool wakeUpPending_ = false;
};

// Damages the bytes of a data packet of `records` unit records as `fault`
// says: a misaddressed record, a garbled aux record, extra bytes, a cut.
void damagePacket(const DataFault& fault, size_t records, std::vector<uint8_t>* packet);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_FAULTS_H
