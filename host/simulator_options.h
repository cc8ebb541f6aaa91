// Lines of a device block that set up the device's simulator under
// --simulate, not the driver: they are taken out of the block before the
// driver sees it, so the driver's option parsing stays as it is.
//
//   simulatordistortion SEED[,STRENGTH]   the simulated room bends the field
//                                         (as mstar-sim --distortion)
#ifndef MOTIONSTAR_HOST_SIMULATOR_OPTIONS_H
#define MOTIONSTAR_HOST_SIMULATOR_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/config_file.h"
#include "sim/sensor_field.h"

struct DeviceSimulatorOptions {
  sim::DistortionSetting distortion;
  uint32_t distortionLine = 0;  // where it was set; 0: not set
};

// One entry per device block, in order. False, with *error "FILE:LINE:
// what is wrong", for a bad value.
bool takeSimulatorOptions(ConfigFile& config, const std::string& fileName,
                          std::vector<DeviceSimulatorOptions>* options, std::string* error);

// "FILE:LINE: simulatordistortion is for --simulate; ignored" for every
// such line, for a run on real systems.
std::vector<std::string> unusedSimulatorOptions(const std::vector<DeviceSimulatorOptions>& options,
                                                const std::string& fileName);

#endif  // MOTIONSTAR_HOST_SIMULATOR_OPTIONS_H
