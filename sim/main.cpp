// mstar-sim: plays a MotionStar tracking system on the network until
// Ctrl-C or SIGTERM, for trying the driver and the host without hardware.
#include <iostream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/signals.h"
#include "sim/command_line.h"
#include "sim/control_port.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
  simcli::Options options;
  const int status = simcli::parseCommandLine(argc, argv, &options);
  if (status >= 0) return status;
  options.config.log = [](const std::string& line) {
    std::cout << "mstar-sim: " << line << std::endl;
  };
  std::vector<std::string> captureLines;
  std::string captureError;
  if (!sim::applyCaptureRequest(options.capture, &options.config, &captureLines, &captureError)) {
    std::cerr << "mstar-sim: " << captureError << "\n";
    return simcli::kExitFailure;
  }
  for (const std::string& line : captureLines) options.config.log(line);

  sim::Simulator simulator(options.config);
  if (options.wakeUpError != 0) {
    sim::CommandFault fault{sim::CommandFault::Kind::kWakeUpError};
    fault.errorCode = options.wakeUpError;
    simulator.injectCommandFault(sim::kWakeUp, fault);
  }
  platform::installStopSignals();
  std::string error;
  if (!simulator.start(&error)) {
    std::cerr << "mstar-sim: " << error << "\n";
    return simcli::kExitFailure;
  }
  sim::ControlPort control(simulator);
  if (options.controlPort >= 0) {
    if (!control.start(static_cast<uint16_t>(options.controlPort), &error)) {
      std::cerr << "mstar-sim: " << error << "\n";
      return simcli::kExitFailure;
    }
    std::cout << "mstar-sim: control port on UDP 127.0.0.1:" << control.port() << std::endl;
  }
  while (!platform::stopRequested()) platform::sleepMilliseconds(50);
  control.stop();
  simulator.stop();
  std::cout << "mstar-sim: stopped after " << simulator.packetsSent() << " data packets"
            << std::endl;
  return simcli::kExitOk;
}
