// Termination requests for the programs: Ctrl-C and SIGTERM (console close
// on Windows) are counted, and the main loop polls the count. Install before
// starting any thread.
#ifndef MOTIONSTAR_PLATFORM_SIGNALS_H
#define MOTIONSTAR_PLATFORM_SIGNALS_H

namespace platform {

void installStopSignals();
// Stop requests received so far (a second one asks to leave at once).
int stopRequests();
bool stopRequested();

}  // namespace platform

#endif  // MOTIONSTAR_PLATFORM_SIGNALS_H
