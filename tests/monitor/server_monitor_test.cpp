#include "monitor/server_monitor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <tuple>

#include "monitor/status_page_scan.h"
#include "platform/text.h"
#include "tests/schedule/scheduler_fixture.h"

namespace larkspan::monitor {
namespace {

using namespace std::string_literals;
using test::ScriptedReply;
using Strings = std::vector<std::string>;
using platform::CopyToField;

// The monitor tick on Monday 7 December 2026 (UTC), with an IRC client
// double and a scripted server whose status pages the test sets by path.
class ServerMonitorTest : public schedule::SchedulerTest {
 protected:
  void SetUp() override {
    SchedulerTest::SetUp();
    monitoring_.ircClient = &irc_;
    monitoring_.statusPage.fetchTimeout = std::chrono::seconds(1);
    server_.setHandler([this](const std::string& request) {
      const std::lock_guard lock(mutex_);
      for (const auto& [path, names] : pages_) {
        if (!request.starts_with("GET " + path + "/status2.xsl ")) continue;
        if (!names) return ScriptedReply::Stall();
        std::string page = "<html><body><pre>\n";
        for (const auto& name : *names) page += name + ",1,128,Title\n";
        return ScriptedReply::Ok(page + "</pre></body></html>\n");
      }
      return ScriptedReply::NotFound();
    });
  }

  // A server at `path` (a trailing slash goes before the page's name) whose
  // page lists `names`; without names it is never answered.
  std::size_t serve(const std::string& path, std::optional<Strings> names, int level = 0,
                    std::int16_t timeout = 30) {
    const std::lock_guard lock(mutex_);
    pages_[path.substr(0, path.find_last_not_of('/') + 1)] = std::move(names);
    schedule::ScheduleEntry entry;
    CopyToField(entry.programName, url(path));
    CopyToField(entry.url, url(path));
    entry.monitorServer = 1, entry.monitorLevel = static_cast<std::int8_t>(level);
    entry.timeout = timeout;
    return *profile_.schedule.appendEntry(entry, {});
  }
  std::string url(const std::string& path = "") const { return server_.url(path); }

  void tick(int hour, int minute, int second) {
    clock_.set(schedule::At(7, hour, minute, second));
    monitor_.MonitorServers(monitoring_);
  }
  Strings knownUrls() const {
    Strings urls;
    for (const auto& record : profile_.knownMountpoints)
      urls.emplace_back(platform::FieldText(record.url));
    return urls;
  }

  std::mutex mutex_;
  std::map<std::string, std::optional<Strings>> pages_;
  test::RecordingIrcBot irc_;
};

TEST_F(ServerMonitorTest, KeepAliveAndPollsOnlyInThePollWindows) {
  profile_.settings.ircAutoPost = 1;
  for (int second : {0, 4, 5, 14, 15, 34, 49, 50, 59}) tick(9, 0, second);
  EXPECT_EQ(irc_.lines(), Strings(5, "RAW PING\r\n"));
  serve("", Strings{});
  for (int second : {5, 14, 20, 44, 50, 59}) tick(9, 0, second);
  EXPECT_EQ(server_.requests().size(), 0u);
  // Chatter Mode draws for a phrase; with auto-posting off nothing is sent.
  profile_.settings.chatterMode = 1;
  random_ = test::ScriptedRandom({20, 34});
  tick(9, 1, 0);
  EXPECT_EQ(irc_.lines().at(6), "SAY Hope your day is going well.") << "without its line end";
  profile_.settings.ircAutoPost = 0;
  tick(9, 1, 1);
  EXPECT_EQ(irc_.lines().size(), 7u);
}

// An entry inside its ignore time is not polled, the next one is; a poll ends
// when its time is spent and the next begins with the servers left.
TEST_F(ServerMonitorTest, APollPassesIgnoredEntriesAndEndsWhenItsTimeIsSpent) {
  entry(serve("/quiet", Strings{"/q"})).ignoreTimes[1] = {1, schedule::kMonday, 8, 0, 9, 0};
  serve("/stalled", std::nullopt);
  for (const char* path : {"/first", "/second"}) serve(path, Strings{"/m"});
  monitoring_.pollBudget = std::chrono::milliseconds(300);
  tick(8, 59, 45);
  EXPECT_TRUE(knownUrls().empty()) << "the stalled server took all of the poll's time";
  tick(9, 0, 0);
  EXPECT_EQ(knownUrls(), (Strings{url("/first/m"), url("/second/m"), url("/quiet/q")}));
}

// Known, ignored and too long names are not new and take no place of the
// three a poll has; mountpoints monitored already (flag 1) take theirs. A
// line break in a found name stays inside its log line. A server keeps only
// its newest known mountpoints, its oldest making room; another's stay.
TEST_F(ServerMonitorTest, OnlyNewNamesAreFoundAndMonitoredOnesUseUpThePlacesOfThePoll) {
  const std::string tooLong = "/" + std::string(127 - url().size(), 'g');
  serve("/", Strings{"/live", "/my/test1", "/ads2", "/x.aac", tooLong, "/monitored",
                     "/a\r\nForged\r\n", "/two", "/late"});
  entry(0).nameKey = 7;
  std::vector<std::string> known{"*/test*"};
  for (std::size_t i = 2; i < schedule::kMaxKnownPerOwner; ++i)
    known.push_back(url("/old") + std::to_string(i));
  known.push_back(url("/live"));  // the newest, still known after the poll
  schedule::RememberMountpoint(profile_.knownMountpoints, "http://elsewhere/x", 8);
  for (const std::string& name : known)
    schedule::RememberMountpoint(profile_.knownMountpoints, name, 7);
  profile_.schedule.options(0).shortIgnoreFlags7To12[0] = 1;
  CopyToField(profile_.schedule.options(0).shortIgnoreNames7To12[0], "/ads*");
  CopyToField(profile_.schedule.options(0).ignoredExtensions[0], "aac");
  schedule::ScheduleEntry monitored;
  for (const auto& [path, flag] : {std::pair{"/monitored", 1}, {"/two", 2}}) {
    CopyToField(monitored.url, url(path));
    monitored.monitorMountpoint = static_cast<std::uint8_t>(flag);
    profile_.schedule.appendEntry(monitored, {});
  }
  tick(9, 0, 0);
  known.erase(known.begin(), known.begin() + 2);
  known.insert(known.begin(), "http://elsewhere/x");
  known.insert(known.end(), {url("/a\r\nForged\r\n"), url("/two")});
  EXPECT_EQ(knownUrls(), known);
  std::ostringstream log;
  log << std::ifstream(folder_.path() / "log.txt").rdbuf();
  EXPECT_EQ(log.str(), "2 new mountpoint[s] found at 9:0 on 12-7-2026\nFound at " +
                           url("/a  Forged  \nFound at ") + url("/two\n"));
}

// Pages a live Icecast never sends: each is scanned for what arrived whole.
TEST_F(ServerMonitorTest, PagesOfSeveralReadsChunkedRedirectedCutOrFailedAreReadWhole) {
  const std::string page = std::string(9000, ' ') + "<pre>\n/a,1\n/b,1\n/c,1\n/d,1\n";
  std::string huge = "<pre>\n/first,1\n";
  huge.resize(StatusPageOptions{}.pageLimit - 4, '.');
  huge += "\n/edge,1\n" + std::string(3 << 20, '.') + "\n/late,1\n";
  ScriptedReply trickle = ScriptedReply::Ok("<pre>\n/live,1\n/trickle,");
  // Endless, and never silent long enough for a read time-out.
  trickle.streamBody = true, trickle.bytesPerSecond = 4000;
  const std::pair<std::vector<ScriptedReply>, Strings> cases[] = {
      {{ScriptedReply::Ok(page, true)}, {"/a", "/b", "/c"}},
      {{ScriptedReply::Chunked(page, 700)}, {"/a", "/b", "/c"}},
      {{ScriptedReply::Redirect(302, url("/elsewhere")), ScriptedReply::Ok("<pre>\n/moved,1\n")},
       {"/moved"}},
      {{ScriptedReply::Ok(huge, true)}, {"/first", "/ed"}},
      {{trickle}, {"/live", "/trickle"}},
      {{ScriptedReply::Redirect(302, "http://127.0.0.1:1/")}, {}}};
  const std::string server = url().substr(7);  // without a scheme
  CopyToField(entry(serve("", Strings{})).url, server);
  for (const auto& [replies, names] : cases) {
    for (const auto& reply : replies) server_.enqueue(reply);
    profile_.knownMountpoints.clear();
    tick(9, 0, 0);
    Strings urls;
    for (const auto& name : names) urls.push_back(server + name);
    EXPECT_EQ(knownUrls(), urls);
  }
  EXPECT_TRUE(prompter_.boxes().empty());
}

TEST_F(ServerMonitorTest, LevelTwoBeepsOnceThenAsksNoTickRunsMeanwhileAndAGoneEntryIsLeft) {
  serve("", Strings{"/a", "/b", "/c", "/d", "/e"}, 2);
  std::vector<std::size_t> beeps;
  prompter_.whileOpen = [&](const std::string&) {
    beeps.push_back(tone_.played().size());
    EXPECT_TRUE(monitor_.busy());
    tick(10, 30, 45);
  };
  tick(10, 30, 30);
  EXPECT_EQ(beeps, (std::vector<std::size_t>{1, 1, 1})) << "three new names fill a poll";
  EXPECT_EQ(prompter_.questions()[2], "A new mointpoint has been found at:\n" + url("/c\nRecord?"));
  EXPECT_EQ(knownUrls(), (Strings{url("/a"), url("/b"), url("/c")}));
  EXPECT_TRUE(opened.empty()) << "only Yes opens the record options";
  EXPECT_EQ(server_.requests().size(), 1u);
  EXPECT_FALSE(monitor_.busy());

  // When its entry is gone under a question, the tick leaves its other new
  // mountpoints and goes on with the next server.
  serve("/quiet", Strings{"/q"});
  prompter_.whileOpen = [&](const std::string&) { profile_.schedule.eraseEntry(0); };
  tick(10, 31, 30);
  EXPECT_EQ(prompter_.questions().size(), 4u);
  EXPECT_EQ(knownUrls(), (Strings{url("/a"), url("/b"), url("/c"), url("/quiet/q")}));
}

// At level 1 a Yes opens the record options, whose values last for the tick;
// level 5 makes temporary entries that monitor the new mountpoints.
TEST_F(ServerMonitorTest, YesOpensTheRecordOptionsAndLevelFiveMakesMonitoredEntries) {
  serve("", Strings{"/until", "/timed", "/cancelled"}, 1, 20);
  serve("/five", Strings{"/live.mp3", "/b,c", "/x\\y.ogg", "/fourth"}, 5, 45);
  for (int i = 0; i < 5; ++i) prompter_.answerNext(true);
  const RecordMountpointValues until{.recordUntilDisconnect = true};
  const RecordMountpointValues timed{.recordFrom = true, .fromHour = 20, .toMinute = 30};
  closes = {until, timed, std::nullopt};
  tick(12, 0, 45);
  EXPECT_EQ(opened, (std::vector<RecordMountpointValues>{{}, until, timed}));
  ASSERT_EQ(profile_.schedule.count(), 2u + 2 + 3);
  EXPECT_EQ(std::tuple(entry(2).monitorMountpoint, entry(2).recordUntilDisconnect, entry(2).days),
            std::tuple(1, 1, 0));
  EXPECT_EQ(platform::FieldText(entry(3).url), url("/timed"));
  EXPECT_EQ(std::tuple(entry(3).monitorMountpoint, entry(3).days, entry(3).startHour,
                       entry(3).endMinute, entry(3).timeout),
            std::tuple(0, schedule::kMonday, 20, 30, 20));
  EXPECT_EQ(std::tuple(platform::FieldText(entry(4).url), platform::FieldText(entry(4).programName),
                       platform::FieldText(entry(6).programName)),
            std::tuple(url("/five/live.mp3"), "live mp3 mountpoint", "x y ogg mountpoint"));
  EXPECT_EQ(std::tuple(entry(4).monitorMountpoint, entry(4).deleteWhenDone, entry(4).timeout),
            std::tuple(1, 1, 45));
  EXPECT_TRUE(knownUrls().empty()) << "neither a made entry nor a cancelled one is remembered";

  // The monitored mountpoint takes its place; the timed and the cancelled
  // one are offered again, in a new dialog.
  tick(12, 1, 0);
  EXPECT_EQ(opened.size(), 5u);
  EXPECT_EQ(opened[3], RecordMountpointValues{});
}

// Page shapes a live Icecast never gives.
TEST(StatusPageScanTest, NamesBeginWithASlashAfterALineBreakOrACommaAndRunToTheNextComma) {
  const std::string cut = "/" + std::string(125, 'n') + "\n";
  std::string many = "<pre>\n";
  Strings first25;
  for (int i = 0; i < 40; ++i) many += "/m" + std::to_string(i) + ",1\n";
  for (int i = 0; i < 25; ++i) first25.push_back("/m" + std::to_string(i));
  const std::pair<std::string, Strings> cases[] = {
      {"<p>\n/not</p><pre>\n/live,2,128,Live show\n/test.ogg,0,96,Test\r\ntotal,/x,y/z\n /in,1\n",
       {"/live", "/test.ogg", "/x"}},
      {"<pre>\n/live\n/next,1\n</pre>", {"/live\n/next"}},
      {"<pre>\n/live\n</pre>,x\n/after", {"/live\n</pre>", "/after"}},
      {"<pre>\n/pre>x,1\n/pre", {"/pre"}},
      {"<pre>\n" + cut + "/x,1\n/" + std::string(300, 'm'),
       {cut, "/x", "/" + std::string(126, 'm')}},
      {"<pre>\n/li\0ve,1\n/b,"s, {"/li", "/b"}},
      {many, first25},
      {"\n/live,1\n", {}}};
  for (const auto& [page, names] : cases) EXPECT_EQ(ScanStatusPage(page), names) << page;
}

}  // namespace
}  // namespace larkspan::monitor
