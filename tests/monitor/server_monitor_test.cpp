#include "monitor/server_monitor.h"

#include <gtest/gtest.h>

#include "irc/chatter_phrases.h"
#include "monitor_tick_fixture.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::monitor {
namespace {

using test::ScriptedHttpServer;
using test::ScriptedReply;
using Strings = std::vector<std::string>;

// Status pages by server path, changed by the test between ticks.
class StatusPages {
 public:
  StatusPages() {
    server_.setHandler([this](const std::string& request) {
      const std::lock_guard lock(mutex_);
      for (const auto& [path, names] : pages_) {
        if (request.starts_with("GET " + path + "/status2.xsl ")) {
          std::string page = "<html><body><pre>\n";
          for (const auto& name : names) page += name + ",1,128,Title\n";
          return ScriptedReply::Ok(page + "</pre></body></html>\n");
        }
      }
      return ScriptedReply::NotFound();
    });
  }

  void set(const std::string& path, Strings names) {
    const std::lock_guard lock(mutex_);
    pages_[path] = std::move(names);
  }
  // The server URL whose status page is at `path`.
  std::string url(const std::string& path = "") const { return server_.url(path); }
  std::size_t requestCount() const { return server_.requests().size(); }

 private:
  ScriptedHttpServer server_;
  std::mutex mutex_;
  std::map<std::string, Strings> pages_;
};

std::string Question(const std::string& url) {
  return "A new mointpoint has been found at:\n" + url + "\nRecord?";
}

class ServerMonitorTest : public MonitorTickTest {
 protected:
  StatusPages pages_;
};

TEST_F(ServerMonitorTest, KeepAliveInEveryPollWindowEvenWithoutServersAndNothingBetween) {
  profile_.settings.ircAutoPost = 1;
  for (int second : {0, 4, 5, 14, 15, 34, 49, 50, 59}) {
    at(9, 0, second);
    tick();
  }
  EXPECT_EQ(irc_.lines(), Strings(5, "RAW PING\r\n"));

  profile_.settings.chatterMode = 1;
  random_ = test::ScriptedRandom({20, 7, 3});
  at(9, 1, 0);
  tick();
  tick();
  const Strings lines = irc_.lines();
  ASSERT_EQ(lines.size(), 8u);
  std::string_view phrase = platform::FieldText(irc::ChatterPhrases[7]);
  phrase.remove_suffix(2);  // posted as a channel message, without its line end
  EXPECT_EQ(lines[6], "SAY " + std::string(phrase));
  EXPECT_EQ(lines[7], "RAW PING\r\n") << "a draw of 3 posts no phrase";

  profile_.settings.ircAutoPost = 0;
  tick();
  EXPECT_EQ(irc_.lines().size(), 8u);
}

TEST_F(ServerMonitorTest, OutsideThePollWindowsNoServerIsPolled) {
  addServer("Radio", pages_.url(), 0);
  pages_.set("", {"/live"});
  for (int second : {5, 14, 20, 44, 50, 59}) {
    at(9, 0, second);
    tick();
  }
  EXPECT_EQ(pages_.requestCount(), 0u);
  EXPECT_EQ(logText(), "");
}

TEST_F(ServerMonitorTest, LevelZeroLogsAndRemembersAndTheNextPollFindsNothingNew) {
  const std::string url = pages_.url("/radio");
  const auto server = addServer("Radio", url, 0);
  pages_.set("/radio", {"/live", "/talk.ogg"});
  at(14, 5, 0);
  tick();
  EXPECT_EQ(logText(),
            "2 new mountpoint[s] found at 14:5 on 12-7-2026\n"
            "Found at " +
                url +
                "/live\n"
                "Found at " +
                url + "/talk.ogg\n");
  EXPECT_EQ(knownUrls(), (Strings{url + "/live", url + "/talk.ogg"}));
  for (const auto& record : profile_.knownMountpoints)
    EXPECT_EQ(record.ownerKey, entry(server).nameKey);
  EXPECT_TRUE(prompter_.boxes().empty());
  EXPECT_EQ(profile_.schedule.count(), 1u);

  at(14, 5, 15);
  tick();
  EXPECT_EQ(pages_.requestCount(), 2u);
  EXPECT_EQ(knownUrls().size(), 2u);
  const std::string log = logText();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << "no new line: nothing new";
}

TEST_F(ServerMonitorTest, AnEntryInsideItsIgnoreTimeIsNotPolledTheNextOneIs) {
  const auto quiet = addServer("Quiet", pages_.url("/quiet"), 0);
  addServer("Loud", pages_.url("/loud"), 0);
  pages_.set("/quiet", {"/q"});
  pages_.set("/loud", {"/l"});
  profile_.schedule.entry(quiet).ignoreTimes[1] = {1, kMondayBit, 8, 0, 9, 0};
  at(8, 59, 45);
  tick();
  EXPECT_EQ(knownUrls(), Strings{pages_.url("/loud") + "/l"});
  at(9, 0, 0);
  tick();
  EXPECT_EQ(knownUrls(), (Strings{pages_.url("/loud") + "/l", pages_.url("/quiet") + "/q"}));
}

TEST_F(ServerMonitorTest, LevelTwoBeepsOnceThenAsksAndANoIsRemembered) {
  const std::string url = pages_.url();
  addServer("Radio", url, 2);
  pages_.set("", {"/a", "/b", "/c", "/d"});
  std::size_t beepsAtFirstQuestion = 0;
  prompter_.whileOpen = [&] {
    if (prompter_.questions().empty()) beepsAtFirstQuestion = tone_.played().size();
  };
  prompter_.answerNext(false);
  at(10, 30, 30);
  tick();
  EXPECT_EQ(beepsAtFirstQuestion, 1u);
  EXPECT_EQ(tone_.played(), (std::vector<std::pair<int, int>>{{523, 500}}));
  EXPECT_EQ(prompter_.questions(),
            (Strings{Question(url + "/a"), Question(url + "/b"), Question(url + "/c")}));
  EXPECT_EQ(knownUrls(), (Strings{url + "/a", url + "/b", url + "/c"}));
  EXPECT_TRUE(dialog_.opened.empty()) << "only Yes opens the record options";
}

TEST_F(ServerMonitorTest, LevelFiveMakesMonitoredEntriesThatTakeThePlacesOfLaterPolls) {
  const std::string url = pages_.url();
  addServer("Radio", url + "/", 5, 45);
  pages_.set("", {"/live.mp3", "/b,c", "/x\\y.ogg", "/fourth"});
  at(23, 59, 45);
  tick();
  ASSERT_EQ(profile_.schedule.count(), 4u);
  const schedule::ScheduleEntry& made = entry(1);
  EXPECT_EQ(platform::FieldText(made.url), url + "/live.mp3");
  EXPECT_EQ(platform::FieldText(made.programName), "live mp3 mountpoint");
  EXPECT_EQ(made.nameKey, schedule::nameKey("live mp3 mountpoint"));
  EXPECT_EQ(platform::FieldText(entry(2).programName), "b mountpoint") << "the name ends at ','";
  EXPECT_EQ(platform::FieldText(entry(3).programName), "x y ogg mountpoint");
  EXPECT_EQ(made.monitorMountpoint, 1);
  EXPECT_EQ(made.recordUntilDisconnect, 0);
  EXPECT_EQ(made.days, 0);
  EXPECT_EQ(made.repeating, 0);
  EXPECT_EQ(made.startHour + made.startMinute + made.endHour + made.endMinute, 0);
  EXPECT_EQ(made.autoCreated, 1);
  EXPECT_EQ(made.deleteWhenDone, 1);
  EXPECT_EQ(made.timeout, 45);
  EXPECT_EQ(made.monitorServer, 0);
  EXPECT_EQ(made.bitrate, 128);
  EXPECT_EQ(made.jobSlot, schedule::kJobSlotIdle);
  EXPECT_EQ(made.keep, 0);
  EXPECT_TRUE(knownUrls().empty());
  EXPECT_TRUE(prompter_.boxes().empty());

  at(0, 0, 0);
  tick();
  EXPECT_EQ(profile_.schedule.count(), 4u) << "three monitored mountpoints fill the poll";

  // "/b" went off the air and its entry is done: its place is free.
  profile_.schedule.eraseEntry(2);
  pages_.set("", {"/live.mp3", "/x\\y.ogg", "/fourth"});
  at(0, 0, 15);
  tick();
  ASSERT_EQ(profile_.schedule.count(), 4u);
  EXPECT_EQ(platform::FieldText(entry(3).url), url + "/fourth");
}

TEST_F(ServerMonitorTest, YesOpensTheRecordOptionsWhoseValuesLastForTheTick) {
  const std::string url = pages_.url();
  addServer("Radio", url, 1, 20);
  pages_.set("", {"/timed", "/again", "/cancelled", "/until"});
  for (int i = 0; i < 3; ++i) prompter_.answerNext(true);
  const RecordMountpointValues timed{
      .recordFrom = true, .fromHour = 20, .fromMinute = 0, .toHour = 21, .toMinute = 30};
  dialog_.closes = {timed, timed, std::nullopt};
  at(12, 0, 45);
  tick();

  EXPECT_EQ(dialog_.opened, (std::vector<RecordMountpointValues>{{}, timed, timed}));
  ASSERT_EQ(profile_.schedule.count(), 3u);
  const schedule::ScheduleEntry& made = entry(1);
  EXPECT_EQ(platform::FieldText(made.url), url + "/timed");
  EXPECT_EQ(made.monitorMountpoint, 0);
  EXPECT_EQ(made.days, kMondayBit);
  EXPECT_EQ(made.startHour, 20);
  EXPECT_EQ(made.endHour, 21);
  EXPECT_EQ(made.endMinute, 30);
  EXPECT_EQ(made.timeout, 20);
  EXPECT_TRUE(knownUrls().empty()) << "neither a made entry nor a cancelled one is remembered";

  // The next poll offers all of them again: the timed entries monitor
  // nothing, and a cancelled question is as good as none.
  prompter_.answerNext(true);
  prompter_.answerNext(true);
  dialog_.opened.clear();
  dialog_.closes = {RecordMountpointValues{.monitorContinuously = true},
                    RecordMountpointValues{.recordUntilDisconnect = true}};
  at(12, 1, 0);
  tick();
  EXPECT_EQ(dialog_.opened.front(), RecordMountpointValues{}) << "a new tick, a new dialog";
  ASSERT_EQ(profile_.schedule.count(), 5u);
  EXPECT_EQ(entry(3).monitorMountpoint, 1);
  EXPECT_EQ(entry(3).recordUntilDisconnect, 0);
  EXPECT_EQ(entry(3).days, 0);
  EXPECT_EQ(entry(4).monitorMountpoint, 1);
  EXPECT_EQ(entry(4).recordUntilDisconnect, 1);
  EXPECT_EQ(knownUrls(), Strings{url + "/cancelled"}) << "the third question was answered No";
}

TEST_F(ServerMonitorTest, ATickDuringAQuestionReturnsAtOnce) {
  addServer("Radio", pages_.url(), 1);
  pages_.set("", {"/a", "/b"});
  std::vector<bool> busy;
  prompter_.whileOpen = [&] {
    busy.push_back(monitor_.busy());
    at(10, 0, 15);
    tick();
  };
  at(10, 0, 0);
  tick();
  EXPECT_EQ(busy, (std::vector<bool>{true, true}));
  EXPECT_EQ(pages_.requestCount(), 1u);
  EXPECT_EQ(prompter_.questions().size(), 2u);
  EXPECT_FALSE(monitor_.busy());
  tick();
  EXPECT_EQ(pages_.requestCount(), 2u) << "the flag is clear again after the tick";
}

TEST_F(ServerMonitorTest, TheTickFollowsItsEntryWhenEntriesBeforeItAreRemoved) {
  const auto doomed = addPlainEntry("Done recording");
  const std::string askingUrl = pages_.url("/asking");
  const auto asking = addServer("Asking", askingUrl, 1);
  const auto quiet = addServer("Quiet", pages_.url("/quiet"), 0);
  pages_.set("/asking", {"/a", "/b", "/c"});
  pages_.set("/quiet", {"/q"});
  const std::int32_t askingKey = entry(asking).nameKey;
  const std::int32_t quietKey = entry(quiet).nameKey;
  prompter_.whileOpen = [&] {
    // The scheduler tick closes an entry out and removes it.
    if (profile_.schedule.count() == 3) {
      profile_.schedule.entry(doomed).jobSlot = schedule::kJobSlotFree;
      schedule::RemoveFreeEntries(profile_.schedule);
    }
  };
  at(18, 0, 30);
  tick();
  EXPECT_EQ(prompter_.questions().size(), 3u);
  ASSERT_EQ(knownUrls(), (Strings{askingUrl + "/a", askingUrl + "/b", askingUrl + "/c",
                                  pages_.url("/quiet") + "/q"}));
  EXPECT_EQ(profile_.knownMountpoints[2].ownerKey, askingKey);
  EXPECT_EQ(profile_.knownMountpoints[3].ownerKey, quietKey);
  EXPECT_EQ(pages_.requestCount(), 2u) << "each server polled once";
}

TEST_F(ServerMonitorTest, WhenItsEntryIsGoneTheTickLeavesItsMountpointsAndGoesOn) {
  addServer("Asking", pages_.url("/asking"), 1);
  addServer("Quiet", pages_.url("/quiet"), 0);
  pages_.set("/asking", {"/a", "/b"});
  pages_.set("/quiet", {"/q"});
  prompter_.whileOpen = [&] { profile_.schedule.eraseEntry(0); };
  at(18, 0, 30);
  tick();
  EXPECT_EQ(prompter_.questions().size(), 1u);
  EXPECT_EQ(knownUrls(), Strings{pages_.url("/quiet") + "/q"});
}

TEST_F(ServerMonitorTest, AnUnparseableServerUrlWarnsAndTheNextEntryIsPolled) {
  addServer("Broken", "mailto:x", 0);
  addServer("Radio", pages_.url(), 0);
  pages_.set("", {"/live"});
  at(7, 0, 0);
  tick();
  EXPECT_EQ(prompter_.boxes(), (std::vector<test::RecordingPrompter::Box>{
                                   {test::RecordingPrompter::Kind::Warning, "Cannot parse URL"}}));
  EXPECT_EQ(knownUrls(), Strings{pages_.url() + "/live"});
}

TEST_F(ServerMonitorTest, AFullScheduleGrowsForTheNewEntries) {
  addServer("Radio", pages_.url(), 5);
  while (profile_.schedule.count() < profile_.schedule.capacity())
    addPlainEntry("Filler " + std::to_string(profile_.schedule.count()));
  pages_.set("", {"/one", "/two"});
  at(7, 0, 0);
  tick();
  EXPECT_EQ(profile_.schedule.count(), 1026u);
  EXPECT_EQ(profile_.schedule.capacity(), 2048u);
  EXPECT_EQ(platform::FieldText(entry(1025).url), pages_.url() + "/two");
}

TEST_F(ServerMonitorTest, ALogThatCannotBeWrittenIsSkipped) {
  const platform::ActivityLog missing(folder_.path() / "no such folder");
  addServer("Radio", pages_.url(), 0);
  pages_.set("", {"/live"});
  at(7, 0, 0);
  MonitorContext withoutLog = context();
  monitor_.MonitorServers(MonitorContext{.profile = profile_,
                                         .jobs = jobs_,
                                         .clock = clock_,
                                         .prompter = prompter_,
                                         .tone = tone_,
                                         .log = missing,
                                         .ircClient = nullptr,
                                         .random = random_,
                                         .recordMountpointDialog = dialog_,
                                         .statusPage = withoutLog.statusPage});
  EXPECT_EQ(knownUrls(), Strings{pages_.url() + "/live"});
}

}  // namespace
}  // namespace larkspan::monitor
