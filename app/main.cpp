#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/headless_runner.h"
#include "app/record_command.h"
#include "app/stop_signals.h"
#include "gui/desktop_program.h"
#include "platform/descriptor_limit.h"

namespace {

constexpr const char* kNoDisplay =
    "larkspan: no display to open the window on; "
    "larkspan --headless runs the schedule without one\n";

}  // namespace

int main(int argc, char** argv) {
  using larkspan::app::CommandLine;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const CommandLine command = larkspan::app::ParseCommandLine(args);
  if (command.form == CommandLine::Form::Answer) {
    std::fputs(command.answer.c_str(),
               command.exitStatus == larkspan::app::kExitSuccess ? stdout : stderr);
    return command.exitStatus;
  }

  // Stop signals are taken by the thread that waits for them, never by a
  // recording thread: block them before any thread starts.
  const sigset_t stopSignals = larkspan::app::StopSignals();
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  larkspan::platform::RaiseDescriptorLimit();
  const std::filesystem::path startupDirectory = std::filesystem::current_path();

  switch (command.form) {
    case CommandLine::Form::Record:
      return larkspan::app::RunRecordCommand(command.record, startupDirectory);
    case CommandLine::Form::Headless:
      return larkspan::app::RunHeadless(startupDirectory);
    case CommandLine::Form::Window:
    case CommandLine::Form::Answer:
      break;
  }
  if (!larkspan::gui::DisplayAvailable()) {
    std::fputs(kNoDisplay, stderr);
    return larkspan::app::kExitUsage;
  }
  return larkspan::gui::RunDesktopProgram(argc, argv, startupDirectory);
}
