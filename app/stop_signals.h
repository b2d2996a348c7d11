#pragma once

#include <csignal>

namespace larkspan::app {

// SIGINT, SIGTERM and SIGHUP (a closed terminal, the end of the session):
// the signals that end the program without windows, saving what it must.
// They are blocked in every thread and taken only by the thread that waits
// for them. SIGHUP is left out when the program was started with it ignored
// (nohup): a blocked signal is queued even when ignored, and the hang-up the
// user asked to survive would end the program.
inline sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  struct sigaction hangUp {};
  if (sigaction(SIGHUP, nullptr, &hangUp) != 0 || hangUp.sa_handler != SIG_IGN)
    sigaddset(&signals, SIGHUP);
  return signals;
}

}  // namespace larkspan::app
