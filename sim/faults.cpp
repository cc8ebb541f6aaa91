#include "sim/faults.h"

#include <algorithm>

#include "common/byte_order.h"
#include "sim/packets.h"

namespace sim {

void Faults::addCommandFault(uint8_t commandCode, const CommandFault& fault) {
  commandFaults_[commandCode].push_back(fault);
}

void Faults::addDataFault(const DataFault& fault) {
  dataFaults_.push_back(fault);
}

std::optional<CommandFault> Faults::takeCommandFault(uint8_t commandCode) {
  auto queued = commandFaults_.find(commandCode);
  if (queued == commandFaults_.end() || queued->second.empty()) return std::nullopt;
  const CommandFault fault = queued->second.front();
  queued->second.pop_front();
  return fault;
}

std::optional<DataFault> Faults::takeDataFault() {
  if (dataFaults_.empty()) return std::nullopt;
  const DataFault fault = dataFaults_.front();
  dataFaults_.pop_front();
  return fault;
}

bool Faults::answer(const CommandFault* fault, uint8_t code, const Peer& to,
                    std::vector<uint8_t> reply, std::vector<Outgoing>* out) {
  using Kind = CommandFault::Kind;
  auto is = [&](Kind kind) { return fault != nullptr && fault->kind == kind; };
  if (is(Kind::kWrongTypes)) {
    for (int i = 0; i < fault->count; ++i) {
      out->push_back(Outgoing{to, makeHeader(fault->wrongType, reply[kUnitOffset], 0, 0)});
    }
  }
  if (is(Kind::kErrorCode) || is(Kind::kWakeUpError)) {
    reply[kErrorOffset] = fault->errorCode != 0 ? fault->errorCode : 1;
  }
  if (is(Kind::kWakeUpError) && code == kWakeUp) wakeUpPending_ = true;
  const bool good = reply[kErrorOffset] == 0;
  Outgoing packet;
  packet.to = to;
  if (is(Kind::kShort)) reply.resize(std::min(reply.size(), fault->length));
  if (is(Kind::kSplit) && reply.size() > 1) {
    packet.splitAt = std::min(std::max<size_t>(fault->splitAt, 1), reply.size() - 1);
    packet.pauseMs = fault->pauseMs;
  }
  packet.bytes = std::move(reply);
  out->push_back(std::move(packet));
  return good;
}

bool Faults::takeFinishedWakeUp(uint8_t code) {
  if (code != kShutDown || !wakeUpPending_) return false;
  wakeUpPending_ = false;
  return true;
}

void Outages::begin(Spell& spell, Clock::time_point now, Clock::duration length) {
  spell.until = now + std::max(length, Clock::duration::zero());
  if (!spell.active) spell.active = spell.began = true;
}

void Outages::schedule(Spell& spell, const RepeatingFault& repeating, Clock::time_point start) {
  spell.repeating = repeating;
  spell.next = start + repeating.every;
}

void Outages::repeat(const RepeatingFault& powerCycles, const RepeatingFault& networkOutages,
                     Clock::time_point start) {
  schedule(power_, powerCycles, start);
  schedule(network_, networkOutages, start);
}

void Outages::step(Spell& spell, Clock::time_point now, bool* began, bool* ended) {
  const Clock::duration every = spell.repeating.every;
  if (every > Clock::duration::zero() && spell.next <= now) {
    begin(spell, spell.next, spell.repeating.length);
    // A worker held up for longer than a period skips what it missed.
    spell.next += every;
    if (spell.next <= now) spell.next = now + every;
  }
  *began = spell.began;
  spell.began = false;
  if (spell.active && spell.until <= now) {
    spell.active = false;
    *ended = true;
  }
}

void Outages::powerCycle(Clock::time_point now, Clock::duration silent) {
  begin(power_, now, silent);
}

void Outages::networkDown(Clock::time_point now, Clock::duration length) {
  begin(network_, now, length);
}

Outages::Changes Outages::advance(Clock::time_point now) {
  Changes changes;
  step(power_, now, &changes.powerOff, &changes.powerOn);
  step(network_, now, &changes.networkDown, &changes.networkUp);
  return changes;
}

Outages::Clock::duration Outages::untilChange(Clock::time_point now, Clock::duration limit) const {
  for (const Spell* spell : {&power_, &network_}) {
    if (spell->active) limit = std::min(limit, spell->until - now);
    if (spell->repeating.every > Clock::duration::zero())
      limit = std::min(limit, spell->next - now);
  }
  return std::max(limit, Clock::duration::zero());
}

void damagePacket(const DataFault& fault, size_t records, std::vector<uint8_t>* packet) {
  using Kind = DataFault::Kind;
  std::vector<uint8_t>& bytes = *packet;
  const size_t auxStart = kHeaderSize + kUnitRecordSize * records;
  switch (fault.kind) {
    case Kind::kGarbageAux:
      // Word count 15 and wand-byte count 255, both past the packet.
      if (bytes.size() > auxStart) {
        bytes[auxStart + 1] = 0x0F;
        bytes.back() = 0xFF;
      }
      break;
    case Kind::kBadUnitAddress:
      if (records > 0) {
        const size_t record = static_cast<size_t>(
            std::min<int>(std::max(fault.record, 0), static_cast<int>(records) - 1));
        bytes[kHeaderSize + kUnitRecordSize * record + kRecordAddressOffset] = fault.unitAddress;
      }
      break;
    case Kind::kOversized:
      bytes.insert(bytes.end(), fault.length, 0xA5);
      writeU16be(&bytes[kCountOffset],
                 static_cast<uint16_t>(std::min<size_t>(bytes.size() - kHeaderSize, 0xFFFF)));
      break;
    case Kind::kShort:
      bytes.resize(std::min(bytes.size(), fault.length));
      break;
    default:  // the stream and the sender carry out the others
      break;
  }
}

}  // namespace sim
