#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "schedule/scheduler_tick.h"
#include "tests/support/recording_doubles.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::schedule {

// A window that only counts what the tick asks of it.
class FakeWindow final : public SchedulerWindow {
 public:
  void commitControls() override { ++commits; }
  void refreshControls() override { ++refreshes; }
  std::string recordingPathText() const override { return recordingPath; }
  bool startSoundChecked() const override { return false; }
  std::string startSoundFileText() const override { return "sound.mp3"; }
  void refreshTrayIcon() override { ++trayRefreshes; }
  void updateTrayIcon(const std::string& tip) override { tips.push_back(tip); }

  std::string recordingPath;
  int commits = 0;
  int refreshes = 0;
  int trayRefreshes = 0;
  std::vector<std::string> tips;
};

// Seconds since 1970 of a UTC date and time.
inline std::int64_t At(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return timegm(&tm);
}

inline constexpr std::uint8_t kSunday = 1, kMonday = 2, kTuesday = 4, kWednesday = 8,
                              kThursday = 16, kFriday = 32, kSaturday = 64;

// Runs the scheduler tick on a scripted clock over a profile of its own, with
// real recording threads against a scripted server that answers with a
// silent stream.
class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    window_.recordingPath = (folder_.path() / "rec").string();
    server_.setHandler([](const std::string&) {
      test::ScriptedReply reply = test::ScriptedReply::Stream(0, 0);
      reply.stall = true;
      return reply;
    });
  }

  void TearDown() override { StopScheduledRecordings(profile_, jobs_); }

  ScheduleEntry& add(std::string_view name, int startHour, int startMinute, int endHour,
                     int endMinute, std::uint8_t days, bool repeating = true) {
    ScheduleEntry e;
    platform::CopyToField(e.programName, name);
    platform::CopyToField(e.url, server_.url("/live"));
    e.startHour = startHour;
    e.startMinute = startMinute;
    e.endHour = endHour;
    e.endMinute = endMinute;
    e.days = days;
    e.repeating = repeating;
    e.keep = 1;
    e.jobSlot = kJobSlotIdle;
    e.timeout = 30;
    const auto slot = profile_.schedule.appendEntry(e, MonitorOptions{});
    return profile_.schedule.entry(*slot);
  }

  ScheduleEntry& entry(std::size_t u) { return profile_.schedule.entry(u); }

  void tickAt(std::int64_t when) {
    clock_.set(when);
    SchedulerTick(context_);
  }

  recording::RecordingJob* jobOf(const ScheduleEntry& e) { return jobs_.at(e.jobSlot); }

  // Waits until the entry's recording has connected.
  bool waitRecording(const ScheduleEntry& e) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      const recording::RecordingJob* job = jobs_.at(e.jobSlot);
      // The start is over once the thread has also turned the tray red.
      if (job != nullptr && job->status() == "RECORDING" && tray_.get() == "red.ico") return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Waits until the entry's recording thread has finished.
  bool waitFinished(const ScheduleEntry& e) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      const recording::RecordingJob* job = jobs_.at(e.jobSlot);
      if (job == nullptr || job->isFinished()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

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
                                         .connectTimeout = std::chrono::seconds(2),
                                         .readTimeout = std::chrono::seconds(30),
                                         .retryPause = std::chrono::milliseconds(20),
                                         .errorPause = std::chrono::milliseconds(20)};
  Profile profile_;
  recording::JobTable jobs_;
  recording::ManualJob manual_;
  FakeWindow window_;
  SchedulerState state_;
  SchedulerContext context_{.profile = profile_,
                            .jobTable = jobs_,
                            .manualJob = manual_,
                            .recording = recording_,
                            .clock = clock_,
                            .ircClient = nullptr,
                            .window = window_,
                            .state = state_};
};

}  // namespace larkspan::schedule
