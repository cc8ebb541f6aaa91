// Three devices of one host sharing its storages: a faulty one in the middle
// whose simulator injects the faults, and a neighbour on each side whose
// storage elements must never change while the faulty one misbehaves.
#ifndef MOTIONSTAR_TESTS_FAULTS_FAULT_RIG_H
#define MOTIONSTAR_TESTS_FAULTS_FAULT_RIG_H

#include <memory>
#include <string>

#include "e2e/harness.h"
#include "support/plain_log.h"

namespace faults {

// The faulty device: two trackers on units 2 and 3 (the transmitter is
// unit 1), published as output IDs 2 and 3; its wand, when on, as
// controller 2.
constexpr uint32_t kFirstId = 2;
constexpr uint32_t kBothIds = 0x6;  // mask bits of IDs 2 and 3

class Rig {
 public:
  Rig(sim::Transport transport, bool wanda = false);
  ~Rig();
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  // False (after a test failure) when any device did not come up.
  bool up() const { return up_; }
  sim::Simulator& sim() { return *sim_; }
  e2e::Device& device() { return *device_; }
  HostStorages& storages() { return storages_; }
  bool udp() const { return transport_ == sim::Transport::kUdp; }
  // The device's configuration text (for a host that makes it again).
  std::string config() const;

  // One recvData call on the faulty device.
  int32_t receive(UpdatedMasks* masks) { return device_->receive(masks); }
  // Emits one good packet, receives it and expects both trackers published
  // with that packet's poses.
  void expectGoodPacket();
  // Expects output ID id to hold unit's pose of packet index.
  void expectPublished(uint32_t id, int unit, uint64_t index);
  // The neighbours' elements are as they were after bring-up.
  void expectNeighboursUntouched();

  // Replaces the faulty device with a new object made from the same
  // configuration, as a host does after its connection broke; the new one
  // takes the next free slots. Returns its first output ID.
  uint32_t recreateDevice();

 private:
  sim::Transport transport_;
  bool wanda_;
  CLogH log_ = plainLog("ms");
  HostStorages storages_{log_};
  std::string address_;
  std::unique_ptr<sim::Simulator> sim_;
  std::unique_ptr<e2e::Device> device_;
  std::unique_ptr<sim::Simulator> neighbourSims_[2];
  std::unique_ptr<e2e::Device> neighbours_[2];
  TraData neighbourRecords_[2] = {};
  ConData neighbourControllers_[2] = {};
  uint32_t neighbourControllerIds_[2] = {};
  uint32_t firstId_ = kFirstId;
  bool up_ = false;
};

}  // namespace faults

#endif  // MOTIONSTAR_TESTS_FAULTS_FAULT_RIG_H
