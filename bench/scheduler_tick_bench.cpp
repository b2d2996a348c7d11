// Times the scheduler tick: over 10,000 entries of which none is due, and
// the tick in which 1,000 entries start at once against a local server.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/prompter.h"
#include "platform/text.h"
#include "platform/tone.h"
#include "schedule/scheduler_tick.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temporary_folder.h"

namespace {

using namespace larkspan;
using Steady = std::chrono::steady_clock;

class NoWindow final : public schedule::SchedulerWindow {
 public:
  explicit NoWindow(std::string path) : path_(std::move(path)) {}
  void commitControls() override {}
  void refreshControls() override {}
  std::string recordingPathText() const override { return path_; }
  bool startSoundChecked() const override { return false; }
  std::string startSoundFileText() const override { return {}; }
  void refreshTrayIcon() override {}
  void updateTrayIcon(const std::string&) override {}

 private:
  std::string path_;
};

schedule::ScheduleEntry Entry(int n, int startHour, std::uint8_t days, const std::string& url) {
  schedule::ScheduleEntry e;
  platform::CopyToField(e.programName, "Program " + std::to_string(n));
  platform::CopyToField(e.url, url);
  e.startHour = startHour;
  e.endHour = startHour + 1;
  e.days = days;
  e.repeating = 1;
  e.keep = 1;
  e.jobSlot = schedule::kJobSlotIdle;
  return e;
}

double Milliseconds(Steady::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main() {
  setenv("TZ", "UTC", 1);
  tzset();
  test::TemporaryFolder folder;
  test::ScriptedHttpServer server;
  server.setHandler([](const std::string&) {
    test::ScriptedReply reply = test::ScriptedReply::Stream(0, 0);
    reply.stall = true;
    return reply;
  });

  test::ScriptedClock clock(1796644800);  // Monday 2026-12-07 12:00:00 UTC
  platform::SystemClock recordingClock;
  platform::StderrPrompter prompter;
  platform::SilentTone tone;
  platform::SpawnCommandRunner commands;
  recording::TrayIconFile tray;
  std::mutex encoderLock;
  recording::RecordingContext recordingContext{.startupDirectory = folder.path(),
                                               .clock = recordingClock,
                                               .prompter = prompter,
                                               .tone = tone,
                                               .commands = commands,
                                               .trayIconFile = tray,
                                               .encoderLock = encoderLock};
  schedule::Profile profile;
  recording::JobTable jobs;
  recording::ManualJob manual;
  schedule::SchedulerState state;
  NoWindow window((folder.path() / "rec").string());
  schedule::SchedulerContext context{.profile = profile,
                                     .jobTable = jobs,
                                     .manualJob = manual,
                                     .recording = recordingContext,
                                     .clock = clock,
                                     .ircClient = nullptr,
                                     .window = window,
                                     .state = state};

  // Sunday mornings only: never due on a Monday noon.
  for (int n = 0; n < 10'000; ++n)
    profile.schedule.appendEntry(Entry(n, 3, 1, server.url("/live")), {});
  constexpr int kRounds = 200;
  schedule::SchedulerTick(context);
  const auto idleStart = Steady::now();
  for (int i = 0; i < kRounds; ++i) schedule::SchedulerTick(context);
  const double idleTick = Milliseconds(Steady::now() - idleStart) / kRounds;

  // 1,000 entries due now, Mondays at noon.
  profile.schedule.reset();
  for (int n = 0; n < 1'000; ++n)
    profile.schedule.appendEntry(Entry(n, 12, 2, server.url("/live")), {});
  const auto startsBegin = Steady::now();
  schedule::SchedulerTick(context);
  const double startTick = Milliseconds(Steady::now() - startsBegin);
  int started = 0;
  for (std::size_t u = 0; u < profile.schedule.count(); ++u)
    started += profile.schedule.entry(u).running;
  const bool connected = server.waitForRequests(1'000, std::chrono::seconds(60));
  const auto stopBegin = Steady::now();
  schedule::StopScheduledRecordings(profile, jobs);
  const double stopAll = Milliseconds(Steady::now() - stopBegin);

  std::printf("scheduler tick, 10,000 entries, none due: %.3f ms a tick (target < 5 ms)\n",
              idleTick);
  std::printf(
      "scheduler tick starting 1,000 recordings:  %.1f ms (target < 1,000 ms), %d started, %s\n",
      startTick, started, connected ? "all connected" : "NOT all connected");
  std::printf("stopping and joining those 1,000 at exit:  %.1f ms\n", stopAll);
  return 0;
}
