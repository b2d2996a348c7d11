#include "monitor/server_monitor.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

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
      if (stalled_.contains(request.substr(0, request.find(' ', 4)))) return ScriptedReply::Stall();
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
  // The status page at `path` is never answered.
  void stall(const std::string& path) {
    const std::lock_guard lock(mutex_);
    stalled_.insert("GET " + path + "/status2.xsl");
  }
  // The server URL whose status page is at `path`.
  std::string url(const std::string& path = "") const { return server_.url(path); }
  std::size_t requestCount() const { return server_.requests().size(); }

 private:
  ScriptedHttpServer server_;
  std::mutex mutex_;
  std::map<std::string, Strings> pages_;
  std::set<std::string> stalled_;
};

std::string Question(const std::string& url) {
  return "A new mointpoint has been found at:\n" + url + "\nRecord?";
}

class ServerMonitorTest : public MonitorTickTest {
 protected:
  StatusPages pages_;
};

TEST_F(ServerMonitorTest, KeepAliveAndPollsInThePollWindowsOnlyWithOrWithoutServers) {
  profile_.settings.ircAutoPost = 1;
  for (int second : {0, 4, 5, 14, 15, 34, 49, 50, 59}) {
    at(9, 0, second);
    tick();
  }
  EXPECT_EQ(irc_.lines(), Strings(5, "RAW PING\r\n"));
  addServer("Radio", pages_.url(), 0);
  pages_.set("", {"/live"});
  for (int second : {5, 14, 20, 44, 50, 59}) {
    at(9, 0, second);
    tick();
  }
  EXPECT_EQ(pages_.requestCount(), 0u);
  EXPECT_EQ(irc_.lines().size(), 5u);

  // The settings reach the keep-alive: Chatter Mode draws, auto-posting off
  // sends nothing.
  profile_.settings.chatterMode = 1;
  random_ = test::ScriptedRandom({20, 7});
  at(9, 1, 0);
  tick();
  EXPECT_EQ(irc_.lines().size(), 7u);
  EXPECT_TRUE(irc_.lines().back().starts_with("SAY "));
  profile_.settings.ircAutoPost = 0;
  tick();
  EXPECT_EQ(irc_.lines().size(), 7u);
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

TEST_F(ServerMonitorTest, APollEndsWhenItsTimeIsSpentAndTheNextBeginsWithTheServersLeft) {
  addServer("Stalled", pages_.url("/stalled"), 0);
  addServer("First", pages_.url("/first"), 0);
  addServer("Second", pages_.url("/second"), 0);
  pages_.stall("/stalled");
  pages_.set("/first", {"/f"});
  pages_.set("/second", {"/s"});
  MonitorContext shortPolls = context();
  shortPolls.pollBudget = std::chrono::milliseconds(300);
  at(9, 0, 0);
  monitor_.MonitorServers(shortPolls);
  EXPECT_TRUE(knownUrls().empty()) << "the stalled server took all of the poll's time";
  at(9, 0, 15);
  monitor_.MonitorServers(shortPolls);
  EXPECT_EQ(knownUrls(), (Strings{pages_.url("/first") + "/f", pages_.url("/second") + "/s"}));
}

TEST_F(ServerMonitorTest, AServerKeepsOnlyItsNewestKnownMountpointsWhenItHasTooMany) {
  addServer("Rotating", pages_.url(), 0);
  schedule::KnownMountpoint other;
  platform::CopyToField(other.url, "http://elsewhere/x");
  profile_.knownMountpoints.push_back(other);
  for (std::size_t i = 0; i < schedule::kMaxKnownPerOwner; ++i)
    schedule::RememberMountpoint(profile_.knownMountpoints, pages_.url("/old") + std::to_string(i),
                                 entry(0).nameKey);
  pages_.set("", {"/new", "/newer"});
  at(9, 0, 0);
  tick();
  const Strings known = knownUrls();
  ASSERT_EQ(known.size(), schedule::kMaxKnownPerOwner + 1);
  EXPECT_EQ(known[0], "http://elsewhere/x") << "another server's names stay";
  EXPECT_EQ(known[1], pages_.url("/old2")) << "the two oldest made room";
  EXPECT_EQ(known.back(), pages_.url("/newer"));
}

TEST_F(ServerMonitorTest, LevelTwoBeepsOnceThenAsksAndANoIsRemembered) {
  const std::string url = pages_.url();
  addServer("Radio", url, 2);
  pages_.set("", {"/a", "/b", "/c", "/d"});
  std::size_t beepsAtFirstQuestion = 0;
  prompter_.whileOpen = [&](const std::string&) {
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

TEST_F(ServerMonitorTest, ALineBreakInAFoundNameStaysInsideItsLogLine) {
  const std::string url = pages_.url();
  addServer("Radio", url, 0);
  pages_.set("", {"/a\r\nForged\r\n"});
  at(10, 30, 30);
  tick();
  EXPECT_TRUE(logText().ends_with("\nFound at " + url + "/a  Forged  \n")) << logText();
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
  EXPECT_EQ(platform::FieldText(entry(2).programName), "b mountpoint");
  EXPECT_EQ(platform::FieldText(entry(3).programName), "x y ogg mountpoint");
  // Monitored, temporary, deleted when done, recording on no particular day.
  EXPECT_EQ(std::tuple(made.monitorMountpoint, made.recordUntilDisconnect, made.autoCreated,
                       made.deleteWhenDone, made.keep, made.monitorServer, made.days,
                       made.repeating, made.timeout, made.bitrate, made.jobSlot),
            std::tuple(1, 0, 1, 1, 0, 0, 0, 0, 45, 128, schedule::kJobSlotIdle));
  EXPECT_EQ(std::tuple(made.startHour, made.startMinute, made.endHour, made.endMinute),
            std::tuple(0, 0, 0, 0));
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
  for (int i = 0; i < 3; ++i) prompter_.answerNext(true);
  dialog_.opened.clear();
  dialog_.closes = {RecordMountpointValues{.monitorContinuously = true},
                    RecordMountpointValues{.recordUntilDisconnect = true},
                    RecordMountpointValues{}};  // OK with nothing chosen
  at(12, 1, 0);
  tick();
  EXPECT_EQ(dialog_.opened.front(), RecordMountpointValues{}) << "a new tick, a new dialog";
  ASSERT_EQ(profile_.schedule.count(), 6u);
  EXPECT_EQ(entry(3).monitorMountpoint, 1);
  EXPECT_EQ(entry(3).recordUntilDisconnect, 0);
  EXPECT_EQ(entry(3).days, 0);
  EXPECT_EQ(entry(4).monitorMountpoint, 1);
  EXPECT_EQ(entry(4).recordUntilDisconnect, 1);
  EXPECT_EQ(entry(5).monitorMountpoint, 0);
  EXPECT_EQ(entry(5).days, kMondayBit);
  EXPECT_EQ(entry(5).startHour + entry(5).startMinute + entry(5).endHour + entry(5).endMinute, 0);
  EXPECT_TRUE(knownUrls().empty());
}

TEST(RecordMountpointTimes, OkRefusesTheFirstTimeOutOfItsRange) {
  struct Case {
    RecordMountpointValues values;
    int field;  // -1: accepted
    const char* message;
  };
  for (const auto& [values, field, message] : {
           Case{{.fromHour = 23, .fromMinute = 59, .toHour = 0, .toMinute = 0}, -1, ""},
           {{.fromHour = 24}, 0, "Please enter an integer between 0 and 23."},
           {{.fromMinute = 60, .toHour = -1}, 1, "Please enter an integer between 0 and 59."},
           {{.toHour = 24}, 2, "Please enter an integer between 0 and 23."},
           {{.toMinute = -1}, 3, "Please enter an integer between 0 and 59."},
       }) {
    const auto refusal = CheckTimes(values);
    EXPECT_EQ(refusal ? refusal->field : -1, field);
    if (refusal) {
      EXPECT_EQ(refusal->message, message);
    }
  }
}

TEST_F(ServerMonitorTest, ATickDuringAQuestionReturnsAtOnce) {
  addServer("Radio", pages_.url(), 1);
  pages_.set("", {"/a", "/b"});
  std::vector<bool> busy;
  prompter_.whileOpen = [&](const std::string&) {
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

TEST_F(ServerMonitorTest, WhenItsEntryIsGoneTheTickLeavesItsMountpointsAndGoesOn) {
  addServer("Asking", pages_.url("/asking"), 1);
  addServer("Quiet", pages_.url("/quiet"), 0);
  pages_.set("/asking", {"/a", "/b"});
  pages_.set("/quiet", {"/q"});
  prompter_.whileOpen = [&](const std::string&) { profile_.schedule.eraseEntry(0); };
  at(18, 0, 30);
  tick();
  EXPECT_EQ(prompter_.questions().size(), 1u);
  EXPECT_EQ(knownUrls(), Strings{pages_.url("/quiet") + "/q"});
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

}  // namespace
}  // namespace larkspan::monitor
