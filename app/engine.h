#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/background_worker.h"

#include "irc/irc_bot_mfc.h"
#include "monitor/record_mountpoint_dialog.h"
#include "monitor/server_monitor.h"
#include "platform/alsa_tone.h"
#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/prompter.h"
#include "platform/random_source.h"
#include "platform/start_sound.h"
#include "recording/job_table.h"
#include "recording/manual_job.h"
#include "recording/recording_context.h"
#include "schedule/profile.h"
#include "schedule/scheduler_tick.h"

namespace larkspan::app {

// Everything the program runs on besides its windows: the profile, the
// recordings, the IRC client and the platform services, with the start-up
// and exit sequences. The main window and the headless runner each own one;
// all of it is used on that owner's thread, except what recording threads
// reach through the recording context.
class Engine {
 public:
  // `prompter` shows the message boxes; it must outlive the engine.
  // `ircOptions`: how the IRC client reaches its server (tests use a port of
  // their own).
  Engine(std::filesystem::path startupDirectory, platform::Prompter& prompter,
         irc::IrcConnectionOptions ircOptions = {});
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Start-up: the defaults, the profile (when there is one), the IRC client,
  // and its connection when auto-posting is on. The IRC connects run on a
  // thread of their own, so that a server that does not answer never holds
  // up the window (or the headless loop); what goes over the wire, and in
  // which order, is unchanged.
  void startUp();

  // Reads the profile (when there is one) over the defaults. A profile that
  // exists but cannot be read gets a warning naming the file and the reason,
  // and is not saved over in this run.
  void loadProfile();

  // The manual Connect: a new manual recording of `url` into `outputFile`
  // (relative to the start-up directory) on a thread of its own. Nothing
  // when a manual recording exists already. `statusObserver`, when given,
  // sees every status of the job, `failureObserver` every new reason why the
  // stream cannot be reached.
  recording::RecordingJob* connect(std::string_view url, std::string_view outputFile,
                                   bool shoutcast,
                                   std::function<void(std::string_view)> statusObserver = {},
                                   std::function<void(std::string_view)> failureObserver = {});

  // One scheduler tick (every 5,000 ms).
  void schedulerTick(schedule::SchedulerWindow& window);
  // One server-monitor tick (every 5,000 ms); `recordOptions` is the
  // "Record New Mountpoint Options" dialog.
  void monitorTick(monitor::RecordMountpointDialog& recordOptions);
  // The reset of the finished recordings' lines (every 15,000 ms).
  void clearRecentResults() { schedulerState_.manualResultText.assign(1, ' '); }

  // After the IRC settings were accepted into the profile: saves it, then,
  // off the caller's thread, QUIT, the new settings, and a new registration
  // when auto-posting is on. False when the profile was not saved.
  bool applyIrcSettings();

  // The exit: every recording, the manual one too, is asked to stop and
  // waited for, the temporary entries are dropped and the profile is saved.
  // False when the profile was not saved; profileNotSavedText() then says why.
  bool shutDown();
  std::string profileNotSavedText() const;

  const std::filesystem::path& startupDirectory() const { return startupDirectory_; }
  schedule::Profile& profile() { return profile_; }
  recording::JobTable& jobTable() { return jobTable_; }
  recording::ManualJob& manualJob() { return manualJob_; }
  recording::RecordingContext& recordingContext() { return recordingContext_; }
  schedule::SchedulerState& schedulerState() { return schedulerState_; }
  irc::IrcBotMFC* ircClient() { return ircClient_.get(); }
  // The IRC connects and quits that run off the caller's thread, in order.
  platform::BackgroundWorker& ircWork() { return ircWork_; }
  platform::Clock& clock() { return clock_; }
  platform::Prompter& prompter() { return prompter_; }

 private:
  void stopRecordings();
  void reconnectIrcInBackground();

  std::filesystem::path startupDirectory_;
  platform::Prompter& prompter_;
  irc::IrcConnectionOptions ircOptions_;
  platform::SystemClock clock_;
  platform::AlsaTone tone_;
  platform::StartSoundPlayer startSound_{tone_};
  platform::SpawnCommandRunner commands_;
  recording::TrayIconFile trayIconFile_;
  std::mutex encoderLock_;
  recording::RecordingContext recordingContext_;
  schedule::Profile profile_;
  recording::JobTable jobTable_;
  recording::ManualJob manualJob_;
  schedule::SchedulerState schedulerState_;
  std::unique_ptr<irc::IrcBotMFC> ircClient_;
  platform::SystemRandom random_;
  monitor::ServerMonitor serverMonitor_;
  // After the client: its tasks use the client, so it goes first.
  platform::BackgroundWorker ircWork_;
};

}  // namespace larkspan::app
