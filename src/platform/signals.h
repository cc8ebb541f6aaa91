// Termination requests for the programs: Ctrl-C and SIGTERM (console close
// on Windows) set a flag that the main loop polls. Install before starting
// any thread.
#ifndef MOTIONSTAR_PLATFORM_SIGNALS_H
#define MOTIONSTAR_PLATFORM_SIGNALS_H

namespace platform {

void installStopSignals();
bool stopRequested();
// Sets the same flag from the program itself (a time limit ran out).
void requestStop();

}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_SIGNALS_H
