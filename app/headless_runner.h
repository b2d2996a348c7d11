#pragma once

#include <filesystem>

namespace larkspan::app {

// Runs the program without windows in `startupDirectory`: the start-up, the
// timers on a loop of its own (the scheduler tick and the server monitor
// every 5,000 ms, the reset of finished recordings' lines every 15,000 ms),
// message boxes as lines on standard error (questions answered No) and every
// new Status text on standard output, until a stop signal (StopSignals())
// runs the exit sequence. Returns the exit status. The stop signals must be
// blocked in every thread before the call.
int RunHeadless(const std::filesystem::path& startupDirectory);

}  // namespace larkspan::app
