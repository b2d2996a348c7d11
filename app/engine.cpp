#include "app/engine.h"

#include <cstdlib>
#include <ctime>

#include "irc/irc_settings.h"
#include "platform/text.h"
#include "recording/recording_thread.h"
#include "schedule/profile_settings.h"

namespace larkspan::app {
namespace {

std::string ProfilePath(const std::filesystem::path& startupDirectory) {
  return (startupDirectory / schedule::kProfileFileName).string();
}

}  // namespace

Engine::Engine(std::filesystem::path startupDirectory, platform::Prompter& prompter,
               irc::IrcConnectionOptions ircOptions)
    : startupDirectory_(std::move(startupDirectory)),
      prompter_(prompter),
      ircOptions_(ircOptions),
      recordingContext_{.startupDirectory = startupDirectory_,
                        .clock = clock_,
                        .prompter = prompter_,
                        .tone = tone_,
                        .commands = commands_,
                        .trayIconFile = trayIconFile_,
                        .encoderLock = encoderLock_,
                        .startSound = &startSound_} {}

// No recording thread may outlive the jobs, the clock and the locks it uses,
// whether or not the exit ran.
Engine::~Engine() {
  stopRecordings();
  if (ircClient_) ircClient_->CancelWaits();
}

void Engine::loadProfile() {
  profile_.settings = schedule::DefaultProfileSettings(schedule::UserHomeFolder());
  schedule::LoadProfile(profile_, startupDirectory_);
  if (!profile_.readFailure.empty()) {
    prompter_.warning("Cannot read the profile " + ProfilePath(startupDirectory_) + ": " +
                      profile_.readFailure +
                      ".\nThe program starts with the default settings and an empty schedule, "
                      "and will not save over that file.");
  }
}

void Engine::startUp() {
  trayIconFile_.set(recording::TrayIconFile::kIdle);
  jobTable_.clear();
  loadProfile();
  schedulerState_ = schedule::SchedulerState{};
  ircClient_ =
      std::make_unique<irc::IrcBotMFC>(irc::ClientSettingsOf(profile_.settings), ircOptions_);
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (profile_.settings.ircAutoPost)
    ircWork_.post([client = ircClient_.get()] { client->Connect(); });
  std::srand(static_cast<unsigned>(std::time(nullptr)));
}

recording::RecordingJob* Engine::connect(std::string_view url, std::string_view outputFile,
                                         bool shoutcast,
                                         std::function<void(std::string_view)> statusObserver,
                                         std::function<void(std::string_view)> failureObserver) {
  recording::RecordingJob* job = manualJob_.create();
  if (job == nullptr) return nullptr;
  // The extension for names the thread builds: the output file's own, or
  // "mp3" for a Shoutcast stream or a name without a usable one.
  const std::string extension =
      shoutcast ? "mp3" : recording::ExtensionFromName(outputFile).value_or("mp3");
  recording::SetUpRecordingJob(
      *job, {.url = url,
             .outputFile = outputFile,
             .shoutcast = shoutcast,
             .extension = extension,
             .entryIndex = -1,
             // A chosen start sound greets every recording, this one too.
             .startSound = profile_.settings.startSound != 0,
             .startSoundFile = platform::FieldText(profile_.settings.startSoundFile),
             .disableSounds = profile_.settings.disableSounds != 0});
  job->statusObserver = std::move(statusObserver);
  job->connectionFailureObserver = std::move(failureObserver);
  manualJob_.adoptThread(recording::StartRecordingThread(*job, recordingContext_));
  return job;
}

void Engine::schedulerTick(schedule::SchedulerWindow& window) {
  schedule::SchedulerContext context{.profile = profile_,
                                     .jobTable = jobTable_,
                                     .manualJob = manualJob_,
                                     .recording = recordingContext_,
                                     .clock = clock_,
                                     .ircClient = ircClient_.get(),
                                     .window = window,
                                     .state = schedulerState_};
  schedule::SchedulerTick(context);
}

void Engine::monitorTick(monitor::RecordMountpointDialog& recordOptions) {
  serverMonitor_.MonitorServers({.profile = profile_,
                                 .jobs = jobTable_,
                                 .clock = clock_,
                                 .prompter = prompter_,
                                 .tone = tone_,
                                 .log = recordingContext_.log,
                                 .ircClient = ircClient_.get(),
                                 .reconnectIrc = [this] { reconnectIrcInBackground(); },
                                 .random = random_,
                                 .recordMountpointDialog = recordOptions});
}

void Engine::reconnectIrcInBackground() {
  // One reconnect at a time: a server that does not answer is not asked
  // again until the last attempt has ended.
  if (!ircWork_.idle()) return;
  ircWork_.post([client = ircClient_.get()] {
    client->Close();
    client->Connect();
  });
}

bool Engine::applyIrcSettings() {
  const bool saved = schedule::SaveProfile(profile_, startupDirectory_);
  if (ircClient_) irc::ApplyIrcSettings(*ircClient_, profile_.settings, ircWork_);
  return saved;
}

bool Engine::shutDown() {
  stopRecordings();
  return schedule::SaveProfile(profile_, startupDirectory_);
}

std::string Engine::profileNotSavedText() const {
  if (!profile_.readFailure.empty()) {
    return "The profile " + ProfilePath(startupDirectory_) +
           " was not saved: it could not be read at start-up (" + profile_.readFailure + ").";
  }
  return "Cannot save the profile " + ProfilePath(startupDirectory_);
}

void Engine::stopRecordings() {
  // Every recording is asked before any is waited for, so that their ends
  // overlap.
  manualJob_.requestStop();
  schedule::StopScheduledRecordings(profile_, jobTable_);
  manualJob_.stopAndWait();
}

}  // namespace larkspan::app
