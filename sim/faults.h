// Faults injected on purpose: the queues that hold them until their command
// or data packet comes, and what each does to the packets that go out.
#ifndef MOTIONSTAR_SIM_FAULTS_H
#define MOTIONSTAR_SIM_FAULTS_H

#include <chrono>
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

// Power cycles and network outages in time: when each begins and ends.
// Nothing here touches a socket or a block; the worker carries out the
// changes that advance() reports.
class Outages {
 public:
  using Clock = std::chrono::steady_clock;

  // What began or ended since the last advance(), in the order the worker
  // carries it out. A spell of no length both begins and ends.
  struct Changes {
    bool powerOff = false;
    bool powerOn = false;
    bool networkDown = false;
    bool networkUp = false;
  };

  // Power cycles and outages that come back on their own, the first
  // `every` after `start`.
  void repeat(const RepeatingFault& powerCycles, const RepeatingFault& networkOutages,
              Clock::time_point start);
  // The power goes off now and comes back `silent` from now; while it is
  // off, a second call moves its return to `silent` from now.
  void powerCycle(Clock::time_point now, Clock::duration silent);
  // Every packet is lost, both ways, until `length` from now; a call
  // during an outage moves its end the same way.
  void networkDown(Clock::time_point now, Clock::duration length);
  Changes advance(Clock::time_point now);

  bool off() const { return power_.active; }
  bool cutOff() const { return power_.active || network_.active; }
  // How long until a spell ends; `limit` when none runs.
  Clock::duration untilChange(Clock::time_point now, Clock::duration limit) const;

 private:
  struct Spell {
    bool active = false;
    bool began = false;  // not yet reported
    Clock::time_point until{};
    RepeatingFault repeating;
    Clock::time_point next{};  // of a repeating one
  };
  static void schedule(Spell& spell, const RepeatingFault& repeating, Clock::time_point start);
  static void begin(Spell& spell, Clock::time_point now, Clock::duration length);
  // Begins a repeating spell when it is due, reports a beginning, then ends
  // the spell when its time has come.
  static void step(Spell& spell, Clock::time_point now, bool* began, bool* ended);

  Spell power_;
  Spell network_;
};

// Damages the bytes of a data packet of `records` unit records as `fault`
// says: a misaddressed record, a garbled aux record, extra bytes, a cut.
void damagePacket(const DataFault& fault, size_t records, std::vector<uint8_t>* packet);

}  // namespace sim

#endif  // MOTIONSTAR_SIM_FAULTS_H
