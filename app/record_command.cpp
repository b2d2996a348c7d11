#include "app/record_command.h"

#include <chrono>
#include <csignal>
#include <ctime>

#include "app/engine.h"
#include "app/exit_status.h"
#include "app/stop_signals.h"
#include "platform/diagnostics.h"
#include "platform/prompter.h"

namespace larkspan::app {
namespace {

// Waits up to `timeout` for a stop signal; true when one arrived.
bool StopSignalArrived(const sigset_t& signals, std::chrono::milliseconds timeout) {
  const timespec wait{0, static_cast<long>(std::chrono::nanoseconds(timeout).count())};
  return sigtimedwait(&signals, nullptr, &wait) > 0;
}

// A reason with the bytes a server chose (a status line) made safe to print.
std::string ForTerminal(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

}  // namespace

int RunRecordCommand(const RecordCommand& command, const std::filesystem::path& startupDirectory) {
  platform::StderrPrompter prompter;
  Engine engine(startupDirectory, prompter);
  // The Disable Sounds setting comes from the profile, as for the window's
  // Connect; without a profile the default (no tone) stands.
  engine.loadProfile();
  const auto printStatus = [](std::string_view status) { platform::WriteStdoutLine(status); };
  // A newcomer whose URL never connects learns why, once per change.
  const auto printFailure = [](std::string_view reason) {
    platform::WriteStderrLine("Cannot reach the stream: " + ForTerminal(reason));
  };
  // The duration counts from here, as a timer that starts the program
  // expects: the connect and its retries are part of it.
  const auto started = std::chrono::steady_clock::now();
  printStatus("IDLE");
  recording::RecordingJob& job = *engine.connect(command.url, command.outputFile, command.shoutcast,
                                                 printStatus, printFailure);

  const sigset_t stopSignals = StopSignals();
  bool timeUp = false;
  while (!job.isFinished()) {
    if (StopSignalArrived(stopSignals, std::chrono::milliseconds(200))) {
      engine.manualJob().requestStop();
    } else if (command.duration && !timeUp &&
               // In seconds: a duration of centuries would overflow nanoseconds.
               std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() -
                                                                started) >= *command.duration) {
      timeUp = true;
      engine.manualJob().requestStop();
    }
  }
  // A recording that never got any of the stream did not succeed, however
  // it ended.
  const bool done = job.status() == "DONE RECORDING" && job.bytesRecorded > 0;
  engine.manualJob().releaseIfFinished();
  return done ? kExitSuccess : kExitFailure;
}

}  // namespace larkspan::app
