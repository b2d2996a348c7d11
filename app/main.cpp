#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/headless_runner.h"
#include "app/record_command.h"
#include "app/stop_signals.h"
#include "gui/desktop_program.h"
#include "platform/descriptor_limit.h"

namespace {

constexpr const char* kUsage =
    "Larkspan v. 1.37b - Internet radio stream recorder\n"
    "\n"
    "usage: larkspan --headless\n"
    "         runs the schedule and the server monitor without a window, in the\n"
    "         current folder, until SIGINT, SIGTERM or SIGHUP\n"
    "       larkspan --record [--shoutcast] URL FILE\n"
    "         records the stream at URL into FILE until SIGINT, SIGTERM or SIGHUP\n"
    "       larkspan\n"
    "         opens the main window (needs a display)\n";

constexpr const char* kNoDisplay =
    "larkspan: no display to open the window on; "
    "larkspan --headless runs the schedule without one\n";

}  // namespace

int main(int argc, char** argv) {
  // Stop signals are taken by the thread that waits for them, never by a
  // recording thread: block them before any thread starts.
  const sigset_t stopSignals = larkspan::app::StopSignals();
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  larkspan::platform::RaiseDescriptorLimit();

  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const std::filesystem::path startupDirectory = std::filesystem::current_path();

  if (!args.empty() && args[0] == "--record") {
    larkspan::app::RecordCommand command;
    std::size_t at = 1;
    if (at < args.size() && args[at] == "--shoutcast") {
      command.shoutcast = true;
      ++at;
    }
    if (args.size() - at != 2) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    command.url = args[at];
    command.outputFile = args[at + 1];
    return larkspan::app::RunRecordCommand(command, startupDirectory);
  }
  if (args.size() == 1 && args[0] == "--headless")
    return larkspan::app::RunHeadless(startupDirectory);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!larkspan::gui::DisplayAvailable()) {
    std::fputs(kNoDisplay, stderr);
    return 2;
  }
  return larkspan::gui::RunDesktopProgram(argc, argv, startupDirectory);
}
