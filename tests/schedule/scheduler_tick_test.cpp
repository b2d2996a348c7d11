#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "monitor/server_monitor.h"
#include "platform/text.h"
#include "tests/schedule/scheduler_fixture.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/scripted_random.h"

namespace larkspan::schedule {
namespace {

using platform::FieldText;

std::string Refused() {
  return "http://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/live";
}

TEST_F(SchedulerTest, StartsUpToTenSecondsEarlyAndStopsOnlyInTheEndHour) {
  add("Afternoon", 14, 0, 15, 0, kMonday);
  add("Forgotten", 14, 0, 15, 0, kMonday);
  tickAt(At(2026, 12, 7, 13, 59, 45));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  tickAt(At(2026, 12, 7, 13, 59, 50));
  ASSERT_EQ(entry(0).jobSlot, 0);
  ASSERT_EQ(entry(1).jobSlot, 1);
  EXPECT_EQ(entry(0).running, 1);
  EXPECT_EQ(FieldText(jobOf(entry(0))->outputFile),
            (folder_.path() / "rec/Afternoon/Afternoon December 7.mp3").string());

  ASSERT_TRUE(waitRecording(entry(0)));
  tickAt(At(2026, 12, 7, 14, 30, 0));
  EXPECT_FALSE(jobOf(entry(0))->stopRequested);
  EXPECT_NE(state_.statusText.find(" - Afternoon\r\n"), std::string::npos) << state_.statusText;

  // Only the first entry sees a tick in its end hour.
  entry(1).endHour = 16;
  entry(1).endMinute = 30;
  tickAt(At(2026, 12, 7, 15, 0, 5));
  EXPECT_TRUE(jobOf(entry(0))->stopRequested);
  EXPECT_EQ(entry(0).running, 0);
  tickAt(At(2026, 12, 7, 17, 0, 0));
  EXPECT_FALSE(jobOf(entry(1))->stopRequested) << "past its end hour nothing stops it";

  ASSERT_TRUE(waitFinished(entry(0)));
  tickAt(At(2026, 12, 7, 17, 0, 5));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  EXPECT_EQ(state_.manualResultText, "DONE RECORDING - Afternoon\r\n");
  EXPECT_EQ(state_.statusText.rfind("DONE RECORDING - Afternoon\r\n", 0), 0u) << state_.statusText;
  EXPECT_EQ(entry(0).recordingThread, nullptr);
  EXPECT_EQ(entry(0).days, kMonday) << "a repeating entry keeps its days";
}

TEST_F(SchedulerTest, AWindowAcrossMidnightStopsNextMorningAndDoesNotStartAgain) {
  add("Late", 23, 0, 1, 0, kFriday);
  tickAt(At(2026, 12, 11, 22, 59, 49));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  tickAt(At(2026, 12, 11, 22, 59, 50));
  ASSERT_GE(entry(0).jobSlot, 0);
  tickAt(At(2026, 12, 12, 0, 30, 0));
  EXPECT_FALSE(jobOf(entry(0))->stopRequested);
  tickAt(At(2026, 12, 12, 1, 0, 0));
  EXPECT_TRUE(jobOf(entry(0))->stopRequested);
  ASSERT_TRUE(waitFinished(entry(0)));
  tickAt(At(2026, 12, 12, 1, 0, 5));
  tickAt(At(2026, 12, 12, 1, 0, 10));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle) << "Saturday is not one of its days";
}

TEST_F(SchedulerTest, MidnightAndEqualStartAndEndTimes) {
  add("Midnight", 0, 0, 0, 30, kMonday | kTuesday);
  add("Instant", 10, 15, 10, 15, kTuesday);
  tickAt(At(2026, 12, 7, 23, 59, 55));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle) << "never the evening before";
  tickAt(At(2026, 12, 8, 0, 0, 0));
  EXPECT_GE(entry(0).jobSlot, 0);

  tickAt(At(2026, 12, 8, 10, 14, 49));
  EXPECT_EQ(entry(1).jobSlot, kJobSlotIdle);
  tickAt(At(2026, 12, 8, 10, 14, 50));
  ASSERT_GE(entry(1).jobSlot, 0);
  EXPECT_FALSE(jobOf(entry(1))->stopRequested);
  tickAt(At(2026, 12, 8, 10, 15, 0));
  EXPECT_TRUE(jobOf(entry(1))->stopRequested);
}

TEST_F(SchedulerTest, AOneTimeEntryLosesEachDayItRecordedThenDisappears) {
  add("Twice", 9, 0, 10, 0, kMonday | kWednesday, false);
  for (const int day : {7, 9}) {
    tickAt(At(2026, 12, day, 9, 0, 0));
    ASSERT_GE(entry(0).jobSlot, 0) << day;
    tickAt(At(2026, 12, day, 10, 0, 0));
    ASSERT_TRUE(waitFinished(entry(0)));
    tickAt(At(2026, 12, day, 10, 0, 5));
    if (day == 7) {
      EXPECT_EQ(entry(0).days, kWednesday);
      EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
    }
  }
  EXPECT_EQ(profile_.schedule.count(), 0u);
}

TEST_F(SchedulerTest, MonitoredMountpointsAreTriedTwiceAMinuteOrAlwaysWhenTheMonitorMadeThem) {
  ScheduleEntry& users = add("Users", 0, 0, 0, 0, 0);
  users.monitorMountpoint = 1;
  platform::CopyToField(users.url, Refused());
  ScheduleEntry& made = add("Made", 0, 0, 0, 0, 0);
  made.monitorMountpoint = 1;
  made.autoCreated = 1;
  platform::CopyToField(made.url, Refused());

  tickAt(At(2026, 12, 7, 10, 0, 10));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  EXPECT_GE(entry(1).jobSlot, 0);
  EXPECT_TRUE(jobOf(entry(1))->monitorMountpoint);
  EXPECT_FALSE(jobOf(entry(1))->persistent);
  tickAt(At(2026, 12, 7, 10, 0, 28));
  EXPECT_GE(entry(0).jobSlot, 0);
  ASSERT_TRUE(waitFinished(entry(0)));
  tickAt(At(2026, 12, 7, 10, 0, 33));  // closes it out
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);

  // An enabled ignore-time row for today covers the moment, end minute included.
  entry(0).ignoreTimes[1] = {.enabled = 1,
                             .days = kMonday,
                             .startHour = 9,
                             .startMinute = 30,
                             .endHour = 10,
                             .endMinute = 1};
  tickAt(At(2026, 12, 7, 10, 1, 3));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  tickAt(At(2026, 12, 7, 10, 2, 3));
  EXPECT_GE(entry(0).jobSlot, 0);
}

TEST_F(SchedulerTest, ProgramNamesBecomeFolderAndFileNames) {
  add("News/Sport:Live", 9, 0, 10, 0, kMonday);
  add(" ?* ", 9, 0, 10, 0, kMonday);
  ScheduleEntry& ogg = add("Ogg", 9, 0, 10, 0, kMonday);
  platform::CopyToField(ogg.url, server_.url("/live.ogg"));
  tickAt(At(2026, 12, 7, 9, 0, 0));
  const std::string rec = (folder_.path() / "rec").string();
  EXPECT_EQ(FieldText(jobOf(entry(0))->outputFile),
            rec + "/News Sport Live/News Sport Live December 7.mp3");
  EXPECT_EQ(FieldText(jobOf(entry(1))->outputFile), rec + "// December 7.mp3");
  EXPECT_EQ(FieldText(jobOf(entry(2))->outputFile), rec + "/Ogg/Ogg December 7.ogg");
  EXPECT_TRUE(std::filesystem::is_directory(folder_.path() / "rec/News Sport Live"));
}

TEST_F(SchedulerTest, TheStatusBoxAndTheIdleTopic) {
  test::RecordingIrcBot irc("#radio");
  context_.ircClient = &irc;
  profile_.settings.ircUpdateTopic = 1;
  profile_.settings.ircAutoPost = 1;
  state_.inTray = true;
  tickAt(At(2026, 12, 7, 8, 0, 0));
  tickAt(At(2026, 12, 7, 8, 0, 5));
  EXPECT_EQ(state_.statusText, "IDLE\r\n");
  EXPECT_EQ(window_.tips, (std::vector<std::string>{"IDLE", "IDLE"}));
  EXPECT_EQ(irc.lines(), std::vector<std::string>{"RAW TOPIC #radio :LKS currently idle\r\n"})
      << "sent once";

  add("Morning", 9, 0, 10, 0, kMonday);
  tickAt(At(2026, 12, 7, 9, 0, 0));
  ASSERT_TRUE(waitRecording(entry(0)));
  tickAt(At(2026, 12, 7, 9, 30, 0));
  EXPECT_EQ(window_.tips.back(), "RECORDING - Morning");
  EXPECT_EQ(tray_.get(), "red.ico");
  tickAt(At(2026, 12, 7, 10, 0, 0));
  ASSERT_TRUE(waitFinished(entry(0)));
  tickAt(At(2026, 12, 7, 10, 0, 5));
  EXPECT_EQ(window_.tips.back(), "DONE RECORDING");
  state_.manualResultText = " ";  // the fifteen-second reset
  tickAt(At(2026, 12, 7, 10, 0, 10));
  tickAt(At(2026, 12, 7, 10, 0, 15));
  const auto lines = irc.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "RAW TOPIC #radio :LKS currently idle\r\n"), 2)
      << "the idle topic goes out again once a recording was shown";
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "SAY RECORDING - Morning ( " + server_.url("/live.m3u") + " )"),
            lines.end());
}

TEST_F(SchedulerTest, TheManualRecordingIsShownThenCollected) {
  recording::RecordingJob* job = manual_.create();
  job->setStatus("RECORDING");
  tickAt(At(2026, 12, 7, 8, 0, 0));
  EXPECT_EQ(state_.statusText, "RECORDING\r\n");
  job->setStatus("DONE RECORDING");
  job->markFinished();
  tickAt(At(2026, 12, 7, 8, 0, 5));
  EXPECT_FALSE(manual_.exists());
  EXPECT_EQ(state_.manualResultText, "DONE RECORDING\r\n");
  tickAt(At(2026, 12, 7, 8, 0, 10));
  EXPECT_EQ(state_.statusText, "DONE RECORDING\r\n");
}

TEST_F(SchedulerTest, AnEntryStoppedByTheUserWaitsForTheNextDayEvenWithoutAMidnightTick) {
  add("Stopped", 14, 0, 15, 0, kMonday);
  MarkDoneToday(entry(0), platform::ToLocalTime(At(2026, 12, 7, 14, 10, 0)));
  tickAt(At(2026, 12, 7, 14, 20, 0));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  tickAt(At(2026, 12, 14, 14, 5, 0));  // a week later; no tick ran at midnight
  EXPECT_GE(entry(0).jobSlot, 0);
}

TEST_F(SchedulerTest, AFailedStartKeepsItsSlotUntilItIsClosedOut) {
  std::filesystem::create_directories(folder_.path() / "rec");
  std::ofstream(folder_.path() / "rec/Blocked") << "a file where the folder should be";
  add("Blocked", 9, 0, 10, 0, kMonday);
  add("Fine", 9, 0, 10, 0, kMonday);
  tickAt(At(2026, 12, 7, 9, 0, 0));
  EXPECT_EQ(entry(0).jobSlot, 0);
  EXPECT_EQ(jobs_.at(0), nullptr);
  EXPECT_EQ(entry(1).jobSlot, 1) << "the failed start's slot is not handed out";
  EXPECT_TRUE(prompter_.boxes().empty())
      << "the entry's own folder failing only writes the log line";
  std::ifstream log(folder_.path() / "log.txt");
  std::string line;
  std::getline(log, line);
  EXPECT_EQ(line.rfind("Directory does not exist and/or cannot be created.", 0), 0u);

  tickAt(At(2026, 12, 7, 9, 0, 5));  // closed out, then tried again
  EXPECT_EQ(entry(1).jobSlot, 1);
  EXPECT_NE(jobOf(entry(1)), nullptr);

  // A monitored entry, tried at every tick, fails the same way for a while:
  // each failed start's slot is given back before the next start.
  ScheduleEntry& watched = add("Blocked", 0, 0, 0, 0, 0);
  watched.monitorMountpoint = 1;
  watched.autoCreated = 1;
  for (int i = 1; i <= 20; ++i) tickAt(At(2026, 12, 7, 9, 1, 0) + 5 * i);
  EXPECT_LE(jobs_.JobTableHighWater(), 3);
}

TEST_F(SchedulerTest, AnUnusableRecordingPathIsReported) {
  std::ofstream(folder_.path() / "notadir") << "x";
  window_.recordingPath = (folder_.path() / "notadir").string();
  add("Show", 9, 0, 10, 0, kMonday);
  state_.pathEdited = true;
  tickAt(At(2026, 12, 7, 9, 0, 0));
  using Box = test::RecordingPrompter::Box;
  EXPECT_EQ(prompter_.boxes(),
            (std::vector<Box>{{test::RecordingPrompter::Kind::Warning, "Invalid path"}}));
  EXPECT_FALSE(state_.pathEdited);
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  EXPECT_EQ(window_.commits, 1);
  tickAt(At(2026, 12, 7, 9, 0, 5));
  tickAt(At(2026, 12, 7, 9, 0, 10));
  const auto boxes = prompter_.boxes();
  ASSERT_EQ(boxes.size(), 2u) << "the folder warning comes once per run";
  EXPECT_EQ(boxes[1].text, "Cannot save output file. Invalid path.");
}

TEST_F(SchedulerTest, NoStartWhenEverySlotIsTaken) {
  for (int i = 0; i < recording::JobTable::kSlotCount; ++i) {
    jobs_.takeSlot(std::make_unique<recording::RecordingJob>());
  }
  add("Crowded", 9, 0, 10, 0, kMonday);
  tickAt(At(2026, 12, 7, 9, 0, 0));
  tickAt(At(2026, 12, 7, 9, 0, 5));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  EXPECT_EQ(prompter_.boxes().size(), 2u);
  EXPECT_EQ(prompter_.boxes().at(0).text, "Maximum number of streams reached");
  jobs_.clear();
}

TEST_F(SchedulerTest, AMonitoredMountpointToDeleteWhenDoneGoesAfterItsFiftySecondCloseOut) {
  ScheduleEntry& e = add("Found", 0, 0, 0, 0, 0, false);
  e.monitorMountpoint = 1;
  e.autoCreated = 1;
  e.deleteWhenDone = 1;
  platform::CopyToField(e.url, Refused());
  KnownMountpoint known;
  platform::CopyToField(known.url, FieldText(e.url));
  KnownMountpoint other;
  platform::CopyToField(other.url, "http://elsewhere/x");
  profile_.knownMountpoints = {known, other, known, known};

  int closeOuts = 0;
  std::int64_t when = At(2026, 12, 7, 10, 0, 0);
  while (profile_.schedule.count() > 0 && closeOuts < 60) {
    tickAt(when += 5);
    if (profile_.schedule.count() == 0) break;
    if (entry(0).jobSlot >= 0) {
      ASSERT_TRUE(waitFinished(entry(0)));
      ++closeOuts;
    }
    if (closeOuts == 1 && entry(0).jobSlot >= 0) {
      tickAt(when += 5);
      // Of two adjacent matches the second waits for the next close-out.
      ASSERT_EQ(profile_.knownMountpoints.size(), 2u);
      EXPECT_EQ(FieldText(profile_.knownMountpoints[0].url), "http://elsewhere/x");
    }
  }
  EXPECT_EQ(closeOuts, 52);
  EXPECT_EQ(profile_.schedule.count(), 0u);
}

TEST_F(SchedulerTest, TheExitStopsEveryRecordingAndDropsTemporaryEntries) {
  add("First temporary", 9, 0, 10, 0, kMonday).keep = 0;
  add("Second temporary", 9, 0, 10, 0, kMonday).keep = 0;
  add("Kept", 9, 0, 10, 0, kMonday);
  tickAt(At(2026, 12, 7, 9, 0, 0));
  ASSERT_TRUE(waitRecording(entry(0)));
  StopScheduledRecordings(profile_, jobs_);
  for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(jobs_.at(slot), nullptr) << "every job released";
  ASSERT_EQ(profile_.schedule.count(), 1u);
  EXPECT_EQ(FieldText(entry(0).programName), "Kept");
  EXPECT_EQ(entry(0).recordingThread, nullptr);
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
}

// A box of either tick, and which tick shows it.
struct NestedTickCase {
  std::string box;
  bool shownByMonitor;
};

class NestedTickTest : public SchedulerTest, public ::testing::WithParamInterface<NestedTickCase> {
 protected:
  // Confirms with "Monitor mountpoint continuously"; it is a box too.
  class Dialog final : public monitor::RecordMountpointDialog {
   public:
    explicit Dialog(test::RecordingPrompter& boxes) : boxes_(boxes) {}
    bool exec(monitor::RecordMountpointValues& values) override {
      if (boxes_.whileOpen) boxes_.whileOpen("Record New Mountpoint Options");
      values.monitorContinuously = true;
      return true;
    }

   private:
    test::RecordingPrompter& boxes_;
  };

  // An entry recording on a job of its own without a thread.
  recording::RecordingJob* addRecording(std::string_view name, bool oneTimeToday) {
    auto created = std::make_unique<recording::RecordingJob>();
    created->setStatus("RECORDING");
    recording::RecordingJob* job = created.get();
    ScheduleEntry& e = add(name, 9, 0, 10, 0, oneTimeToday ? kMonday : kTuesday, !oneTimeToday);
    e.jobSlot = *jobs_.takeSlot(std::move(created));
    e.running = 1;
    e.startedDay = kMonday;
    return job;
  }

  std::size_t addServer(std::string_view name, const std::string& url, int level) {
    ScheduleEntry& e = add(name, 0, 0, 0, 0, 0);
    platform::CopyToField(e.url, url);
    e.monitorServer = 1;
    e.monitorLevel = static_cast<std::int8_t>(level);
    return profile_.schedule.count() - 1;
  }

  const ScheduleEntry* named(std::string_view name) {
    for (std::size_t u = 0; u < profile_.schedule.count(); ++u)
      if (FieldText(entry(u).programName) == name) return &entry(u);
    return nullptr;
  }

  monitor::ServerMonitor monitor_;
  test::ScriptedRandom random_{{}};
  Dialog dialog_{prompter_};
  monitor::MonitorContext monitoring_{.profile = profile_,
                                      .jobs = jobs_,
                                      .clock = clock_,
                                      .prompter = prompter_,
                                      .tone = tone_,
                                      .log = recording_.log,
                                      .ircClient = nullptr,
                                      .random = random_,
                                      .recordMountpointDialog = dialog_,
                                      .statusPage = {.connectTimeout = std::chrono::seconds(2),
                                                     .readTimeout = std::chrono::seconds(2),
                                                     .fetchTimeout = std::chrono::seconds(5)}};
};

// Both timers keep firing while a box of either tick is open: a whole
// scheduler tick and a whole monitor tick run inside it, closing out and
// removing entries below, starting others and appending new ones.
TEST_P(NestedTickTest, AnyTickMayRunInsideAnyBox) {
  const std::string box = GetParam().box;
  server_.setHandler([](const std::string& request) {
    for (const std::string path : {"/asking", "/quiet"}) {
      if (request.starts_with("GET " + path + "/status2.xsl "))
        return test::ScriptedReply::Ok("<pre>\n" + path + "-new,1,128,Title\n</pre>");
    }
    test::ScriptedReply stream = test::ScriptedReply::Stream(0, 0);
    stream.stall = true;
    return stream;
  });
  recording::RecordingJob* firstDone = addRecording("First done", true);
  add("Another day", 9, 0, 10, 0, kTuesday);  // so that one tick closes out both

  recording::RecordingJob* secondDone = addRecording("Second done", true);
  const std::size_t asking = addServer("Asking", server_.url("/asking"), 1);
  addServer("Quiet", server_.url("/quiet"), 0);
  const std::pair<std::string, const recording::RecordingJob*> live[] = {
      {"Live one", addRecording("Live one", false)}, {"Live two", addRecording("Live two", false)}};
  add("Due", 9, 0, 10, 0, kMonday);

  std::ofstream(folder_.path() / "notadir") << "x";
  if (box == "Invalid path" || box.starts_with("Cannot save")) {
    window_.recordingPath = (folder_.path() / "notadir").string();
    state_.pathEdited = box == "Invalid path";
  }
  if (box.starts_with("Maximum")) {
    while (jobs_.JobTableHighWater() < recording::JobTable::kSlotCount) jobs_.takeSlot(nullptr);
  }
  if (box == "Cannot parse URL") platform::CopyToField(entry(asking).url, "mailto:x");
  if (box.starts_with("Record New")) prompter_.answerNext(true);

  bool nested = false;
  const auto testThread = std::this_thread::get_id();
  prompter_.whileOpen = [&](const std::string& text) {
    if (nested || std::this_thread::get_id() != testThread || !text.starts_with(box)) return;
    nested = true;
    firstDone->markFinished();
    secondDone->markFinished();
    SchedulerTick(context_);
    monitor_.MonitorServers(monitoring_);
  };
  clock_.set(At(2026, 12, 7, 9, 0, 0));
  if (GetParam().shownByMonitor)
    EXPECT_NO_THROW(monitor_.MonitorServers(monitoring_));
  else
    EXPECT_NO_THROW(SchedulerTick(context_));

  ASSERT_TRUE(nested);
  EXPECT_EQ(named("First done"), nullptr);
  EXPECT_EQ(named("Second done"), nullptr);
  for (const auto& [name, job] : live) {
    ASSERT_NE(named(name), nullptr) << name;
    EXPECT_EQ(jobOf(*named(name)), job) << name << " keeps its job";
    EXPECT_NE(state_.statusText.find("RECORDING - " + name + "\r\n"), std::string::npos)
        << state_.statusText;
  }
  const std::string quiet = server_.url("/quiet") + "/quiet-new";
  EXPECT_TRUE(
      std::any_of(profile_.knownMountpoints.begin(), profile_.knownMountpoints.end(),
                  [&](const KnownMountpoint& known) { return FieldText(known.url) == quiet; }))
      << "every server is polled";
}

INSTANTIATE_TEST_SUITE_P(
    EveryBox, NestedTickTest,
    ::testing::Values(NestedTickCase{"Invalid path", false},
                      NestedTickCase{"Cannot save output file. Invalid path.", false},
                      NestedTickCase{"Maximum number of streams reached", false},
                      NestedTickCase{"Cannot parse URL", true},
                      NestedTickCase{"A new mointpoint has been found", true},
                      NestedTickCase{"Record New Mountpoint Options", true}),
    [](const auto& info) {
      std::string name;
      for (const char c : info.param.box)
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
      return name;
    });

}  // namespace
}  // namespace larkspan::schedule
