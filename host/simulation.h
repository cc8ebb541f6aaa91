// --simulate: one simulator per device block on its own loopback address,
// with the block pointed at it. Each device's sensors and wand move on the
// paths of a seed of their own, positions are reported as a magnetic
// tracker reports them (so a wrong hemisphere shows), and the repeating
// faults of --sim-fault are set up.
#ifndef MOTIONSTAR_HOST_SIMULATION_H
#define MOTIONSTAR_HOST_SIMULATION_H

#include <memory>
#include <string>
#include <vector>

#include "host/config_file.h"
#include "host/options.h"
#include "host/simulator_options.h"
#include "sim/simulator.h"

class Simulation {
 public:
  // Starts a simulator for every block and rewrites the blocks' address
  // (and, over UDP, a local port the kernel picks unless one is given).
  // perDevice: the blocks' own simulator settings, in order.
  bool start(ConfigFile& config, const Options& options,
             const std::vector<DeviceSimulatorOptions>& perDevice, std::string* error);
  void stop();
  const std::vector<std::unique_ptr<sim::Simulator>>& simulators() const { return simulators_; }

 private:
  std::vector<std::unique_ptr<sim::Simulator>> simulators_;
};

#endif  // MOTIONSTAR_HOST_SIMULATION_H
