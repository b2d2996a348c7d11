#include "app/record_command.h"

#include <csignal>
#include <ctime>

#include "app/engine.h"
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

}  // namespace

int RunRecordCommand(const RecordCommand& command, const std::filesystem::path& startupDirectory) {
  platform::StderrPrompter prompter;
  Engine engine(startupDirectory, prompter);
  // The Disable Sounds setting comes from the profile, as for the window's
  // Connect; without a profile the default (no tone) stands.
  engine.loadProfile();
  const auto printStatus = [](std::string_view status) { platform::WriteStdoutLine(status); };
  printStatus("IDLE");
  recording::RecordingJob& job =
      *engine.connect(command.url, command.outputFile, command.shoutcast, printStatus);

  const sigset_t stopSignals = StopSignals();
  while (!job.isFinished()) {
    if (StopSignalArrived(stopSignals, std::chrono::milliseconds(200)))
      engine.manualJob().requestStop();
  }
  const bool done = job.status() == "DONE RECORDING";
  engine.manualJob().releaseIfFinished();
  return done ? 0 : 1;
}

}  // namespace larkspan::app
