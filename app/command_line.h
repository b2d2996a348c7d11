#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/exit_status.h"
#include "app/record_command.h"

namespace larkspan::app {

// What the arguments after the program's name ask for.
struct CommandLine {
  enum class Form {
    Window,    // no arguments: the main window
    Headless,  // --headless
    Record,    // --record ...: `record` says what to record
    Answer,    // --help, --version or a usage error: print `answer`, exit
  };
  Form form = Form::Window;
  RecordCommand record;
  // For Form::Answer: the text, for standard output when `exitStatus` is
  // kExitSuccess and for standard error otherwise.
  std::string answer;
  int exitStatus = kExitSuccess;
};

// Reads the arguments. Options come before "--"; anything else that begins
// with '-' is an unknown option, never a URL or a file name.
CommandLine ParseCommandLine(std::span<const std::string_view> args);

// "90" (seconds), "90s", "45m", "2h", "1h30m", "1h30m15s": the units in
// that order, each at most once. Nothing for a malformed or zero duration.
std::optional<std::chrono::seconds> ParseDuration(std::string_view text);

// The forms, their options and the exit statuses, for --help.
std::string HelpText();

}  // namespace larkspan::app
