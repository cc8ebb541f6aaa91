#include "faults/fault_rig.h"

#include <gtest/gtest.h>

#include <cstring>

namespace faults {
namespace {

std::string connection(const std::string& address, bool udp) {
  return "motionstaraddress " + address + "\nprotocol " + (udp ? "udp\nport 0\n" : "tcp\n");
}

bool bringUp(e2e::Device& device, int32_t dataKind) {
  if (device.init() != 1) return false;
  if (device->configure() != dataKind) return false;
  return device->start();
}

}  // namespace

Rig::Rig(sim::Transport transport, bool wanda) : transport_(transport), wanda_(wanda) {
  // The neighbours: one tracker each, over TCP, with a wand each, before
  // and after the faulty device in the storages.
  std::string neighbourAddress[2];
  for (int i = 0; i < 2; ++i) {
    sim::Config simConfig;
    simConfig.units = 2;
    simConfig.wanda = true;
    simConfig.enableUdp = false;
    neighbourSims_[i] = e2e::startSimulator(simConfig, &neighbourAddress[i]);
    if (!neighbourSims_[i]) return;
  }
  sim::Config simConfig;
  simConfig.units = 3;
  simConfig.wanda = wanda;
  simConfig.enableTcp = transport == sim::Transport::kTcp;
  simConfig.enableUdp = !simConfig.enableTcp;
  sim_ = e2e::startSimulator(simConfig, &address_);
  if (!sim_) return;

  auto neighbour = [&](int i) {
    neighbours_[i] =
        std::make_unique<e2e::Device>("device n" + std::to_string(i) + " motionstar 1\n" +
                                          connection(neighbourAddress[i], false) + "wanda 1\n",
                                      storages_, &log_);
    return bringUp(*neighbours_[i], 1);
  };
  device_ = std::make_unique<e2e::Device>(config(), storages_, &log_);
  if (!neighbour(0) || !bringUp(*device_, wanda ? 1 : 2) || !neighbour(1)) {
    ADD_FAILURE() << "a device did not come up";
    return;
  }
  // Each neighbour publishes one pose and one wand state, then keeps still.
  for (int i = 0; i < 2; ++i) {
    neighbourSims_[i]->queueWandBytes(sim::Simulator::wandPacket(3, -2, true, false, 1));
    UpdatedMasks masks;
    if (neighbourSims_[i]->emitPackets(1) != 1 || neighbours_[i]->receive(&masks) != 1 ||
        e2e::maskWord(masks.tracker) == 0) {
      ADD_FAILURE() << "neighbour " << i << " published nothing";
      return;
    }
  }
  // The faulty device streams one packet ahead of its neighbours, so a pose
  // of its own that landed in a neighbour's element could not match by
  // chance (same packet index, same unit, same millisecond).
  const uint64_t index = sim_->nextPacketIndex();
  UpdatedMasks masks;
  if (sim_->emitPackets(1) != 1 || device_->receive(&masks) != 1) {
    ADD_FAILURE() << "the faulty device published nothing";
    return;
  }
  if (index != 0 || sim::Simulator::unitWords(2, 1) == sim::Simulator::unitWords(2, 0)) {
    ADD_FAILURE() << "the packets of the devices are not told apart";
    return;
  }
  neighbourRecords_[0] = storages_.tracker(1);
  neighbourRecords_[1] = storages_.tracker(4);
  neighbourControllerIds_[0] = 1;
  neighbourControllerIds_[1] = storages_.controllerCount();
  for (int i = 0; i < 2; ++i) {
    neighbourControllers_[i] = storages_.controller(neighbourControllerIds_[i]);
  }
  up_ = true;
}

Rig::~Rig() {
  device_.reset();
  for (auto& n : neighbours_) n.reset();
}

std::string Rig::config() const {
  return "device faulty motionstar 2\n" + connection(address_, udp()) + (wanda_ ? "wanda 1\n" : "");
}

void Rig::expectPublished(uint32_t id, int unit, uint64_t index) {
  const TraData record = storages_.tracker(id);
  EXPECT_EQ(e2e::recordId(record.header), id);
  const std::array<double, 6> want = e2e::expectedPose(sim::Simulator::unitWords(unit, index));
  const std::array<double, 6> got = e2e::publishedPose(record);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 2e-5) << "id " << id << " #" << i;
}

void Rig::expectGoodPacket() {
  const uint64_t index = sim_->nextPacketIndex();
  ASSERT_EQ(sim_->emitPackets(1), 1);
  UpdatedMasks masks;
  ASSERT_EQ(receive(&masks), 1);
  EXPECT_EQ(e2e::maskWord(masks.tracker), 0x3u << (firstId_ - 1));
  expectPublished(firstId_, 2, index);
  expectPublished(firstId_ + 1, 3, index);
}

void Rig::expectNeighboursUntouched() {
  const TraData before = storages_.tracker(1);
  const TraData after = storages_.tracker(4);
  EXPECT_EQ(std::memcmp(&before, &neighbourRecords_[0], sizeof before), 0) << "tracker 1";
  EXPECT_EQ(std::memcmp(&after, &neighbourRecords_[1], sizeof after), 0) << "tracker 4";
  for (int i = 0; i < 2; ++i) {
    const ConData controller = storages_.controller(neighbourControllerIds_[i]);
    EXPECT_EQ(std::memcmp(&controller, &neighbourControllers_[i], sizeof controller), 0)
        << "controller " << neighbourControllerIds_[i];
  }
}

uint32_t Rig::recreateDevice() {
  device_ = std::make_unique<e2e::Device>(config(), storages_, &log_);
  firstId_ = storages_.trackerCount() + 1;
  EXPECT_TRUE(bringUp(*device_, wanda_ ? 1 : 2));
  return firstId_;
}

}  // namespace faults
