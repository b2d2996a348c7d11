#pragma once

#include <string>

#include "irc/irc_bot_mfc.h"
#include "recording/job_table.h"
#include "recording/manual_job.h"
#include "recording/recording_context.h"
#include "schedule/profile.h"

namespace larkspan::schedule {

// What the scheduler tick needs of the main window, or of the runner that
// stands in for it when there is no display. Called on the window's thread.
class SchedulerWindow {
 public:
  virtual ~SchedulerWindow() = default;
  // Reads the window's boxes into its members.
  virtual void commitControls() = 0;
  // Writes the members back to the boxes. While the state's
  // statusRefreshGuard is set the window leaves the Stream URL, Output File
  // and Recording Path boxes as the user is typing them.
  virtual void refreshControls() = 0;
  // The Recording Path box, and the start-sound check box with its file box.
  virtual std::string recordingPathText() const = 0;
  virtual bool startSoundChecked() const = 0;
  virtual std::string startSoundFileText() const = 0;
  // Asks the platform to redraw the notification icon.
  virtual void refreshTrayIcon() = 0;
  // Loads the image named by the tray icon file, sets `tip` (at most 127
  // characters) and modifies the notification icon.
  virtual void updateTrayIcon(const std::string& tip) = 0;
};

// The state the tick shares with the main window.
struct SchedulerState {
  std::string statusText = "IDLE\r\n";  // the Status box
  // Result lines of recently finished recordings; a single blank when none.
  std::string manualResultText = " ";
  bool inTray = false;
  bool statusRefreshGuard = false;
  bool pathEdited = false;
  // "Cannot save output file. Invalid path." has been shown in this run.
  bool outputPathWarned = false;
  // The idle topic has gone out since a recording status was last shown.
  bool idleTopicSent = false;
};

struct SchedulerContext {
  Profile& profile;
  recording::JobTable& jobTable;
  recording::ManualJob& manualJob;
  // The recording threads' shared pieces; its prompter and activity log
  // serve the tick too.
  recording::RecordingContext& recording;
  // The tick's own reading of the local time (the program's clock; tests
  // script it apart from the recording threads' pauses).
  platform::Clock& clock;
  irc::IrcBotMFC* ircClient;  // none when the program has no IRC client
  SchedulerWindow& window;
  SchedulerState& state;
};

// One pass over the schedule: starts due entries, asks recordings whose end
// time has come to stop, closes out finished ones, and composes the Status
// box, the tray tip and the idle topic. Runs on the window's thread every
// five seconds, holding JobTableLock throughout its work. Its message boxes
// come last, after the lock: timers keep firing while a box is open, and the
// ticks they run may rearrange the schedule.
void SchedulerTick(SchedulerContext& context);

// The program's exit: asks every scheduled recording to stop, waits for the
// threads, releases their jobs and drops the temporary entries (keep clear).
// The caller saves the profile afterwards.
void StopScheduledRecordings(Profile& profile, recording::JobTable& jobTable);

// Marks an entry stopped by the user for the rest of `today`.
void MarkDoneToday(ScheduleEntry& entry, const platform::LocalTime& today);

}  // namespace larkspan::schedule
