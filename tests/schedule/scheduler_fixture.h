#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "monitor/server_monitor.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "schedule/schedule_editor.h"
#include "schedule/scheduler_tick.h"
#include "tests/support/recording_doubles.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/scripted_random.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::schedule {

// A UTC time in December 2026, whose 7th is a Monday.
inline std::int64_t At(int day, int hour, int minute, int second = 0) {
  return 1796083200 + (day - 1) * 86400 + hour * 3600 + minute * 60 + second;
}

inline constexpr std::uint8_t kSunday = 1, kMonday = 2, kTuesday = 4, kWednesday = 8,
                              kThursday = 16, kFriday = 32;

// Runs the scheduler and the monitor tick on a scripted clock over a profile
// of its own, with real recording threads against a scripted server that
// answers with a silent stream. It is the tick's window too, keeping the tray
// tips, and the record-options dialog: it keeps the values each one opened
// with and closes the n-th as scripted, OK with the given values or Cancel
// (nothing, or nothing scripted).
class SchedulerTest : public ::testing::Test,
                      public SchedulerWindow,
                      public monitor::RecordMountpointDialog {
 protected:
  bool exec(monitor::RecordMountpointValues& values) override {
    opened.push_back(values);
    if (prompter_.whileOpen) prompter_.whileOpen("Record New Mountpoint Options");
    if (opened.size() > closes.size() || !closes[opened.size() - 1]) return false;
    values = *closes[opened.size() - 1];
    return true;
  }
  void commitControls() override {}
  void refreshControls() override {}
  std::string recordingPathText() const override { return recordingPath_; }
  bool startSoundChecked() const override { return false; }
  std::string startSoundFileText() const override { return "sound.mp3"; }
  void refreshTrayIcon() override {}
  void updateTrayIcon(const std::string& tip) override { tips_.push_back(tip); }

  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    recordingPath_ = (folder_.path() / "rec").string();
    server_.setHandler([](const std::string&) { return SilentStream(); });
  }
  // An empty stream that then stays open and silent: a recording that runs
  // until it is stopped.
  static test::ScriptedReply SilentStream() {
    return {.head = test::ScriptedReply::Ok("").head, .stall = true};
  }

  void TearDown() override { StopScheduledRecordings(profile_, jobs_); }

  ScheduleEntry& add(std::string_view name, int startHour, int endHour, std::uint8_t days,
                     bool repeating = true) {
    ScheduleEntry e;
    e.startHour = startHour, e.endHour = endHour, e.days = days, e.repeating = repeating;
    e.jobSlot = kJobSlotIdle, e.keep = 1;
    platform::CopyToField(e.programName, name);
    platform::CopyToField(e.url, server_.url("/live"));
    return profile_.schedule.entry(*profile_.schedule.appendEntry(e, MonitorOptions{}));
  }

  // An entry recording on a job of its own, without a thread.
  recording::RecordingJob& addRecording(std::string_view name, std::uint8_t days = kMonday,
                                        bool repeating = true) {
    ScheduleEntry& e = add(name, 9, 10, days, repeating);
    e.jobSlot = *jobs_.takeSlot(std::make_unique<recording::RecordingJob>());
    e.running = 1, e.startedDay = kMonday;
    jobOf(e)->setStatus("RECORDING");
    return *jobOf(e);
  }

  ScheduleEntry& entry(std::size_t u) { return profile_.schedule.entry(u); }
  recording::RecordingJob* jobOf(const ScheduleEntry& e) { return jobs_.at(e.jobSlot); }

  void tickAt(std::int64_t when) {
    clock_.set(when);
    SchedulerTick(context_);
  }

  // Waits until the entry's recording has finished, or has connected and
  // turned the tray red, the last step of its start.
  bool wait(const ScheduleEntry& e, bool untilFinished) {
    for (int i = 0; i < 4000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
      const recording::RecordingJob* job = jobs_.at(e.jobSlot);
      if (untilFinished
              ? job == nullptr || job->isFinished()
              : job != nullptr && job->status() == "RECORDING" && tray_.get() == "red.ico")
        return true;
    }
    return false;
  }
  bool waitFinished(const ScheduleEntry& e) { return wait(e, true); }
  bool waitRecording(const ScheduleEntry& e) { return wait(e, false); }

  test::TemporaryFolder folder_;
  test::ScriptedHttpServer server_;
  test::ScriptedClock clock_;
  platform::SystemClock recordingClock_;
  test::RecordingPrompter prompter_;
  test::RecordingTone tone_;
  test::RecordingCommandRunner commands_;
  recording::TrayIconFile tray_;
  std::mutex encoderLock_;
  recording::RecordingContext recording_{.startupDirectory = folder_.path(),
                                         .clock = recordingClock_,
                                         .prompter = prompter_,
                                         .tone = tone_,
                                         .commands = commands_,
                                         .trayIconFile = tray_,
                                         .encoderLock = encoderLock_,
                                         .retryPause = std::chrono::milliseconds(20),
                                         .errorPause = std::chrono::milliseconds(20)};
  Profile profile_;
  recording::JobTable jobs_;
  recording::ManualJob manual_;
  std::string recordingPath_;
  std::vector<std::string> tips_;
  SchedulerState state_;
  SchedulerContext context_{profile_, jobs_, manual_, recording_, clock_, nullptr, *this, state_};
  ScheduleEditor editor_{profile_, prompter_, folder_.path()};
  std::vector<std::optional<monitor::RecordMountpointValues>> closes;
  std::vector<monitor::RecordMountpointValues> opened;
  monitor::ServerMonitor monitor_;
  test::ScriptedRandom random_{{}};
  // Positional: each reference is of its own type, so the compiler checks
  // their order; the empty braces are the IRC reconnect, not used here.
  monitor::MonitorContext monitoring_{profile_,       jobs_,   clock_, prompter_, tone_,
                                      recording_.log, nullptr, {},     random_,   *this};
};

}  // namespace larkspan::schedule
