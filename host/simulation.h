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

#include "host/capture_setup.h"
#include "host/config_file.h"
#include "host/options.h"
#include "host/simulator_options.h"
#include "sim/simulator.h"

class Simulation {
 public:
  // Usage faults: a --sim-fault naming no device of the file, a block with
  // no room for the options the simulation adds.
  static bool check(const ConfigFile& config, const Options& options, std::string* error);
  // Starts a simulator for every block and rewrites the blocks' address
  // (and, over UDP, a local port the kernel picks unless one is given).
  // perDevice: the blocks' own simulator settings, in order.
  bool start(ConfigFile& config, const Options& options,
             const std::vector<DeviceSimulatorOptions>& perDevice, std::string* error);
  void stop();
  // Recording and replay of the simulators started next.
  void setCapture(CaptureSetup capture) { capture_ = std::move(capture); }
  // Every simulator replays a capture and has sent all its data packets.
  bool replayFinished() const;
  const std::vector<std::unique_ptr<sim::Simulator>>& simulators() const { return simulators_; }

 private:
  std::vector<std::unique_ptr<sim::Simulator>> simulators_;
  CaptureSetup capture_;
};

#endif  // MOTIONSTAR_HOST_SIMULATION_H
