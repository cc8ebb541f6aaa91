// What the host's tests run against: simulated systems streaming at 100
// packets per second and the device blocks that point at them.
#ifndef MOTIONSTAR_TESTS_HOST_SIMULATED_SYSTEMS_H
#define MOTIONSTAR_TESTS_HOST_SIMULATED_SYSTEMS_H

#include <string>

#include "sim/simulator.h"

// Two trackers beside the transmitter, over TCP or UDP.
inline sim::Config streaming(bool udp) {
  sim::Config config;
  config.units = 3;
  config.rate = 100;
  config.enableTcp = !udp;
  config.enableUdp = udp;
  return config;
}

inline std::string deviceBlock(const std::string& name, const std::string& address, bool udp) {
  return "device " + name + " " MODULE_PATH " 2\nmotionstaraddress " + address + "\nprotocol " +
         (udp ? "udp\nport 0\n" : "tcp\n");
}

#endif  // MOTIONSTAR_TESTS_HOST_SIMULATED_SYSTEMS_H
