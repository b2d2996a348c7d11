#pragma once

namespace larkspan::app {

// The program's exit statuses, the same for every form; --help lists them.
inline constexpr int kExitSuccess = 0;
// The recording or the run failed; the reason went to standard error, or
// to a message box from the window.
inline constexpr int kExitFailure = 1;
// The command line has no meaning, or the window was asked for where there
// is no display to show it on.
inline constexpr int kExitUsage = 2;
// The window or --headless found another of them running in its start-up
// folder and ended without loading or saving the profile there. A service
// manager must not restart it for that.
inline constexpr int kExitAnotherInstance = 3;

}  // namespace larkspan::app
