#include "app/record_command.h"

#include <csignal>
#include <ctime>
#include <mutex>

#include "platform/alsa_tone.h"
#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/diagnostics.h"
#include "platform/prompter.h"
#include "recording/manual_job.h"
#include "recording/recording_thread.h"
#include "schedule/profile.h"
#include "schedule/profile_settings.h"

namespace larkspan::app {
namespace {

// Waits up to `timeout` for SIGINT or SIGTERM; true when one arrived.
bool StopSignalArrived(const sigset_t& signals, std::chrono::milliseconds timeout) {
  const timespec wait{0, static_cast<long>(std::chrono::nanoseconds(timeout).count())};
  return sigtimedwait(&signals, nullptr, &wait) > 0;
}

}  // namespace

int RunRecordCommand(const RecordCommand& command, const std::filesystem::path& startupDirectory) {
  platform::SystemClock clock;
  platform::StderrPrompter prompter;
  platform::AlsaTone tone;
  platform::SpawnCommandRunner commands;
  recording::TrayIconFile trayIconFile;
  std::mutex encoderLock;
  recording::RecordingContext context{.startupDirectory = startupDirectory,
                                      .clock = clock,
                                      .prompter = prompter,
                                      .tone = tone,
                                      .commands = commands,
                                      .trayIconFile = trayIconFile,
                                      .encoderLock = encoderLock};

  // The Disable Sounds setting comes from the profile, as the window's
  // Connect takes it; without a profile the default (no tone) stands.
  schedule::Profile profile;
  profile.settings = schedule::DefaultProfileSettings(startupDirectory);
  schedule::LoadProfile(profile, startupDirectory);

  recording::ManualJob manual;
  recording::RecordingJob& job = *manual.create();
  // The extension for names the thread builds: the output file's own, or
  // "mp3" for a Shoutcast stream or a name without a usable one.
  const std::string extension =
      command.shoutcast ? "mp3" : recording::ExtensionFromName(command.outputFile).value_or("mp3");
  recording::SetUpRecordingJob(job, {.url = command.url,
                                     .outputFile = command.outputFile,
                                     .shoutcast = command.shoutcast,
                                     .extension = extension,
                                     .entryIndex = -1,
                                     .disableSounds = profile.settings.disableSounds != 0});
  job.statusObserver = [](std::string_view status) { platform::WriteStdoutLine(status); };
  platform::WriteStdoutLine(job.status());

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);

  platform::SmallStackThread thread = recording::StartRecordingThread(job, context);
  while (!job.isFinished()) {
    if (StopSignalArrived(stopSignals, std::chrono::milliseconds(200))) manual.requestStop();
  }
  thread.join();
  return job.status() == "DONE RECORDING" ? 0 : 1;
}

}  // namespace larkspan::app
