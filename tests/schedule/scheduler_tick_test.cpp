#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "tests/schedule/scheduler_fixture.h"

namespace larkspan::schedule {
namespace {

using platform::FieldText;

// An entry's window and days, 'u' for a mountpoint the user or 'm' one the
// monitor set to be monitored, and what each tick ("<day> <time> <state>")
// leaves it as: - Idle, R recording, S asked to stop, x removed; U is the user
// stopping it then, without a tick, which leaves it Idle. A tick to Idle or x
// waits for the thread.
TEST_F(SchedulerTest, EntriesStartWhenDueAndStopOnlyInTheirEndHour) {
  const std::tuple<const char*, std::uint8_t, bool, char, const char*> windows[] = {
      {"14:00-15:00", kMonday, true, 0,  // a repeating entry keeps its days
       "7 13:59:49 - 7 13:59:50 R 7 14:30:00 R 7 15:00:05 S 7 17:00:05 - 14 14:00:00 R"},
      {"14:00-16:30", kMonday, true, 0, "7 14:00:00 R 7 17:00:00 R"},
      {"23:00-01:00", kFriday, true, 0,
       "11 22:59:49 - 11 22:59:50 R 12 00:30:00 R 12 01:00:00 S 12 01:00:05 - 12 01:00:10 -"},
      {"00:00-00:30", kMonday | kTuesday, true, 0, "7 23:59:55 - 8 00:00:00 R"},
      {"10:15-10:15", kTuesday, true, 0, "8 10:14:49 - 8 10:14:50 R 8 10:15:00 S"},
      {"09:00-10:00", kMonday | kWednesday, false, 0,  // loses each day it recorded
       "7 09:00:00 R 7 10:00:00 S 7 10:00:05 - 14 09:00:00 - 16 09:00:00 R 16 10:00:00 S "
       "16 10:00:05 x"},
      {"14:00-15:00", kMonday, true, 0,  // free on a later day without a tick at midnight
       "7 14:10:00 U 7 14:20:00 - 14 14:05:00 R"},
      // Twice a minute, not in its ignore time (11:00 to 11:01 on Mondays).
      {"00:00-00:00", 0, true, 'u',
       "7 10:00:10 - 7 10:00:27 R 7 10:00:31 - 7 11:01:05 - 7 11:02:00 R"},
      {"00:00-00:00", 0, true, 'm', "7 10:00:10 R 7 10:00:15 - 7 10:00:20 R"},
  };
  const auto state = [&]() -> char {
    if (profile_.schedule.count() == 0) return 'x';
    const ScheduleEntry& e = entry(0);
    if (e.jobSlot < 0) return '-';
    if (jobOf(e) == nullptr || jobOf(e)->stopRequested == (e.running != 0)) return '?';
    return e.running ? 'R' : 'S';
  };
  for (const auto& [window, days, repeating, monitored, steps] : windows) {
    SCOPED_TRACE(window);
    ScheduleEntry& e = add("Show", 0, 0, days, repeating);
    std::sscanf(window, "%d:%d-%d:%d", &e.startHour, &e.startMinute, &e.endHour, &e.endMinute);
    if (monitored) {
      e.monitorMountpoint = 1, e.autoCreated = monitored == 'm';
      e.ignoreTimes[1] = {1, kMonday, 11, 0, 11, 1};
      platform::CopyToField(e.url, "http://127.0.0.1:" + std::to_string(test::RefusingPort()));
    }
    std::istringstream ticks(steps);
    int day, hour, minute, second;
    char colon, expected;
    while (ticks >> day >> hour >> colon >> minute >> colon >> second >> expected) {
      const std::int64_t when = At(day, hour, minute, second);
      ASSERT_TRUE((expected != '-' && expected != 'x') || waitFinished(entry(0)));
      expected == 'U' ? MarkDoneToday(entry(0), platform::ToLocalTime(when)) : tickAt(when);
      EXPECT_EQ(state(), expected == 'U' ? '-' : expected) << day << " " << hour << ":" << minute;
    }
    StopScheduledRecordings(profile_, jobs_);
    profile_.schedule.reset();
  }
}

TEST_F(SchedulerTest, AMonitoredMountpointToDeleteWhenDoneGoesAfterItsFiftySecondCloseOut) {
  ScheduleEntry& e = add("Found", 0, 0, 0, false);
  e.monitorMountpoint = e.autoCreated = e.deleteWhenDone = 1;
  platform::CopyToField(e.url, "http://127.0.0.1:" + std::to_string(test::RefusingPort()));
  KnownMountpoint known, other{"http://elsewhere/x"};
  platform::CopyToField(known.url, FieldText(e.url));
  profile_.knownMountpoints = {known, other, known, known};
  int closeOuts = 0;
  for (std::int64_t when = At(7, 10, 0); closeOuts < 60; when += 5) {
    tickAt(when);
    if (profile_.schedule.count() == 0) break;
    if (entry(0).jobSlot >= 0) {
      ASSERT_TRUE(waitFinished(entry(0)));
      ++closeOuts;
    } else if (closeOuts == 1) {
      // Of two adjacent matches the second waits for the next close-out.
      EXPECT_EQ(profile_.knownMountpoints.size(), 2u);
    }
  }
  EXPECT_EQ(closeOuts, 52);
  ASSERT_EQ(profile_.knownMountpoints.size(), 1u);
  EXPECT_EQ(FieldText(profile_.knownMountpoints[0].url), "http://elsewhere/x");
}

TEST_F(SchedulerTest, TheStatusBoxTrayTipAndTopicFollowTheRecordings) {
  test::RecordingIrcBot irc("#radio");
  context_.ircClient = &irc;
  profile_.settings.ircUpdateTopic = profile_.settings.ircAutoPost = 1;
  state_.inTray = true;
  tickAt(At(7, 8, 0));
  tickAt(At(7, 8, 0, 5));
  EXPECT_EQ(state_.statusText, "IDLE\r\n");
  EXPECT_EQ(tips_, (std::vector<std::string>{"IDLE", "IDLE"}));
  const std::string idle = "RAW TOPIC #radio :LKS currently idle\r\n";
  EXPECT_EQ(irc.lines(), std::vector<std::string>{idle}) << "sent once";

  add("Morning", 9, 10, kMonday);
  tickAt(At(7, 9, 0));
  ASSERT_TRUE(waitRecording(entry(0)));
  tickAt(At(7, 9, 30));
  EXPECT_EQ(tips_.back(), "RECORDING - Morning");
  tickAt(At(7, 10, 0));
  ASSERT_TRUE(waitFinished(entry(0)));
  tickAt(At(7, 10, 0, 5));
  EXPECT_EQ(std::pair(entry(0).jobSlot, entry(0).recordingThread == nullptr),
            std::pair(kJobSlotIdle, true));
  EXPECT_EQ(state_.manualResultText, "DONE RECORDING - Morning\r\n");
  EXPECT_EQ(state_.statusText.rfind("DONE RECORDING - Morning\r\n", 0), 0u) << state_.statusText;
  EXPECT_EQ(tips_.back(), "DONE RECORDING");
  state_.manualResultText = " ";  // the fifteen-second reset
  tickAt(At(7, 10, 0, 10));
  const std::string announcement = "RECORDING - Morning ( " + server_.url("/live.m3u") + " )";
  EXPECT_EQ(irc.lines(), (std::vector<std::string>{idle, "SAY " + announcement,
                                                   "RAW TOPIC #radio :" + announcement + "\r\n",
                                                   "SAY FINISHED - Morning", idle}))
      << "the idle topic goes out again once a recording was shown";

  // The manual recording is shown while it runs, and its result once collected.
  recording::RecordingJob* job = manual_.create();
  job->setStatus("RECORDING");
  tickAt(At(7, 11, 0));
  EXPECT_EQ(state_.statusText, "RECORDING\r\n");
  job->setStatus("DONE RECORDING");
  job->markFinished();
  tickAt(At(7, 11, 0, 5));
  EXPECT_FALSE(manual_.exists());
  tickAt(At(7, 11, 0, 10));
  EXPECT_EQ(state_.statusText, "DONE RECORDING\r\n");
}

// Program names and URLs become folder and file names; a start that fails
// keeps its slot until it is closed out.
TEST_F(SchedulerTest, StartsNameTheirFilesAndAFailedOneKeepsItsSlotUntilItIsClosedOut) {
  std::filesystem::create_directories(folder_.path() / "rec");
  std::ofstream(folder_.path() / "rec/Blocked") << "a file where the folder should be";
  add("Blocked", 9, 10, kMonday);
  const std::array<const char*, 3> cases[] = {
      {"News/Sport:Live", "/live", "News Sport Live/News Sport Live December 7.mp3"},
      {"a\\b*c\"d<e>f|g?h \t", "/x.flac", "a b c d e f g h/a b c d e f g h December 7.flac"},
      {" ?* ", "/a.b.ogg", "/ December 7.mp3"},
      {"  Lead", "/x.opus1", "  Lead/  Lead December 7.mp3"},
      {"Ogg", "/live.ogg", "Ogg/Ogg December 7.ogg"},
      {"Cast", "/live.ogg", "Cast/Cast December 7.mp3"},  // Shoutcast
  };
  for (const auto& [program, path, file] : cases) {
    ScheduleEntry& e = add(program, 9, 10, kMonday);
    platform::CopyToField(e.url, server_.url(path));
    e.shoutcast = std::string_view(program) == "Cast";
  }
  tickAt(At(7, 9, 0));
  for (std::size_t u = 1; u <= std::size(cases); ++u)
    EXPECT_EQ(FieldText(jobOf(entry(u))->outputFile), recordingPath_ + "/" + cases[u - 1][2]);
  EXPECT_EQ(std::tuple(entry(0).jobSlot, jobs_.at(0), entry(1).jobSlot), std::tuple(0, nullptr, 1))
      << "the failed start's slot is not handed out";
  std::ostringstream log;
  log << std::ifstream(folder_.path() / "log.txt").rdbuf();
  EXPECT_TRUE(log.str().starts_with("Directory does not exist and/or cannot be created."))
      << log.str();

  tickAt(At(7, 9, 0, 5));  // closed out, then tried again
  EXPECT_EQ(entry(1).jobSlot, 1);
  EXPECT_NE(jobOf(entry(1)), nullptr);

  // A monitored entry, tried at every tick, fails the same way for a while:
  // each failed start's slot is given back before the next start.
  ScheduleEntry& watched = add("Blocked", 0, 0, 0);
  watched.monitorMountpoint = watched.autoCreated = 1;
  for (int i = 1; i <= 20; ++i) tickAt(At(7, 9, 1) + 5 * i);
  EXPECT_LE(jobs_.JobTableHighWater(), 8);

  // A recording path that cannot be used is reported once per run (the
  // entry's own folder failing above only wrote the log).
  recordingPath_ = (folder_.path() / "rec/Blocked").string();
  state_.pathEdited = true;
  for (int i = 0; i < 3; ++i) tickAt(At(7, 9, 5, 5 * i));
  const auto warning = test::RecordingPrompter::Kind::Warning;
  EXPECT_EQ(prompter_.boxes(),
            (std::vector<test::RecordingPrompter::Box>{
                {warning, "Invalid path"}, {warning, "Cannot save output file. Invalid path."}}));
}

// A box of either tick; the new mountpoint's options dialog, a box too,
// confirms "Monitor mountpoint continuously".
class NestedTickTest : public SchedulerTest, public ::testing::WithParamInterface<std::string> {};

// Both timers keep firing while a box of either tick is open: a whole
// scheduler tick and a whole monitor tick run inside it, closing out and
// removing entries below, starting others and appending new ones.
TEST_P(NestedTickTest, AnyTickMayRunInsideAnyBox) {
  const std::string& box = GetParam();
  server_.setHandler([](const std::string& request) {
    const std::size_t page = request.find("/status2.xsl ");
    return page == std::string::npos
               ? SilentStream()
               : test::ScriptedReply::Ok("<pre>\n" + request.substr(4, page - 4) + "-new,1\n");
  });
  recording::RecordingJob& firstDone = addRecording("First done", kMonday, false);
  add("Another day", 9, 10, kTuesday);  // so that one tick closes out both
  recording::RecordingJob& secondDone = addRecording("Second done", kMonday, false);
  for (const char* server : {"/asking", "/quiet"}) {
    ScheduleEntry& e = add(server, 0, 0, 0);
    platform::CopyToField(e.url, server_.url(server));
    e.monitorServer = 1, e.monitorLevel = server == std::string("/asking");
  }
  std::map<std::string, const recording::RecordingJob*> live;
  for (const char* name : {"Live one", "Live two"}) live[name] = &addRecording(name, kTuesday);
  add("Due", 9, 10, kMonday);

  if (box == "Invalid path" || box.starts_with("Cannot save"))
    std::ofstream(recordingPath_ = (folder_.path() / "notadir").string()) << "a file";
  state_.pathEdited = box == "Invalid path";
  while (box.starts_with("Maximum") && jobs_.JobTableHighWater() < recording::JobTable::kSlotCount)
    jobs_.takeSlot(nullptr);
  if (box == "Cannot parse URL") platform::CopyToField(entry(3).url, "mailto:x");
  if (box.starts_with("Record New")) prompter_.answerNext(true);
  closes.assign(4, monitor::RecordMountpointValues{.monitorContinuously = true});

  bool nested = false;
  const auto testThread = std::this_thread::get_id();
  prompter_.whileOpen = [&](const std::string& text) {
    if (nested || std::this_thread::get_id() != testThread || !text.starts_with(box)) return;
    nested = true;
    for (recording::RecordingJob* done : {&firstDone, &secondDone}) done->markFinished();
    SchedulerTick(context_);
    monitor_.MonitorServers(monitoring_);
  };
  clock_.set(At(7, 9, 0));
  const bool shownByMonitor =
      box.starts_with("Cannot parse") || box.starts_with("A new") || box.starts_with("Record New");
  EXPECT_NO_THROW(shownByMonitor ? monitor_.MonitorServers(monitoring_) : SchedulerTick(context_));

  ASSERT_TRUE(nested);
  std::map<std::string, const recording::RecordingJob*> jobByName;
  for (std::size_t u = 0; u < profile_.schedule.count(); ++u)
    jobByName[std::string(FieldText(entry(u).programName))] = jobs_.at(entry(u).jobSlot);
  EXPECT_FALSE(jobByName.contains("First done") || jobByName.contains("Second done"));
  for (const auto& [name, job] : live) {
    EXPECT_EQ(jobByName[name], job) << name << " keeps its job";
    EXPECT_NE(state_.statusText.find("RECORDING - " + name + "\r\n"), std::string::npos)
        << state_.statusText;
  }
  ASSERT_FALSE(profile_.knownMountpoints.empty());
  EXPECT_EQ(FieldText(profile_.knownMountpoints.back().url), server_.url("/quiet/quiet-new"))
      << "every server is polled";
}

INSTANTIATE_TEST_SUITE_P(EveryBox, NestedTickTest,
                         ::testing::Values("Invalid path", "Cannot save output file. Invalid path.",
                                           "Maximum number of streams reached", "Cannot parse URL",
                                           "A new mointpoint has been found",
                                           "Record New Mountpoint Options"));

}  // namespace
}  // namespace larkspan::schedule
