#pragma once

#include <filesystem>

namespace larkspan::gui {

// Runs the program with its main window in `startupDirectory` until the
// window closes; returns the exit status. Needs a display (or a Qt platform
// chosen with QT_QPA_PLATFORM).
int RunDesktopProgram(int argc, char** argv, const std::filesystem::path& startupDirectory);

// Whether a window can be shown at all: a display or a chosen Qt platform.
bool DisplayAvailable();

}  // namespace larkspan::gui
