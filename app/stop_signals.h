#pragma once

#include <csignal>

namespace larkspan::app {

// SIGINT and SIGTERM: the signals that end the program without windows. They
// are blocked in every thread and taken only by the thread that waits for them.
inline sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace larkspan::app
