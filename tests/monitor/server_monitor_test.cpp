#include "monitor/server_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <tuple>

#include "platform/text.h"
#include "schedule/name_key.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/recording_doubles.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/scripted_random.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::monitor {
namespace {

using test::ScriptedReply;
using Strings = std::vector<std::string>;

// Keeps the values each dialog opened with and closes it as scripted: OK
// with the given values, or Cancel (nothing, or nothing scripted).
class ScriptedRecordDialog final : public RecordMountpointDialog {
 public:
  bool exec(RecordMountpointValues& values) override {
    opened.push_back(values);
    std::optional<RecordMountpointValues> close;
    if (!closes.empty()) close = closes.front();
    if (!closes.empty()) closes.pop_front();
    if (close) values = *close;
    return close.has_value();
  }
  std::deque<std::optional<RecordMountpointValues>> closes;
  std::vector<RecordMountpointValues> opened;
};

// Status pages by server path, changed between ticks; a path set to nothing
// is never answered.
class StatusPages {
 public:
  StatusPages() {
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
  void set(const std::string& path, std::optional<Strings> names) {
    const std::lock_guard lock(mutex_);
    pages_[path] = std::move(names);
  }
  std::string url(const std::string& path = "") const { return server_.url(path); }
  std::size_t requestCount() const { return server_.requests().size(); }

 private:
  test::ScriptedHttpServer server_;
  std::mutex mutex_;
  std::map<std::string, std::optional<Strings>> pages_;
};

// The monitor tick with doubles around it, on Monday 7 December 2026 (UTC).
class ServerMonitorTest : public ::testing::Test {
 protected:
  static constexpr int kMondayBit = 2;

  ServerMonitorTest() {
    setenv("TZ", "UTC", 1);
    tzset();
  }

  std::size_t addServer(const std::string& programName, const std::string& url, int level,
                        std::int16_t timeout = 30) {
    schedule::ScheduleEntry entry;
    platform::CopyToField(entry.programName, programName);
    platform::CopyToField(entry.url, url);
    entry.nameKey = schedule::nameKey(programName);
    entry.monitorServer = 1;
    entry.monitorLevel = static_cast<std::int8_t>(level);
    entry.timeout = timeout;
    entry.jobSlot = schedule::kJobSlotIdle;
    return *profile_.schedule.appendEntry(entry, {});
  }

  MonitorContext context() {
    using std::chrono::seconds;
    return {.profile = profile_,
            .jobs = jobs_,
            .clock = clock_,
            .prompter = prompter_,
            .tone = tone_,
            .log = log_,
            .ircClient = &irc_,
            .random = random_,
            .recordMountpointDialog = dialog_,
            .statusPage = {.connectTimeout = seconds(2),
                           .readTimeout = seconds(2),
                           .fetchTimeout = seconds(5),
                           .diagnostics = {}}};
  }

  void tick(int hour, int minute, int second, std::optional<MonitorContext> with = {}) {
    clock_.set(1796601600 + hour * 3600 + minute * 60 + second);
    monitor_.MonitorServers(with ? *with : context());
  }

  std::string logText() const {
    std::ostringstream text;
    text << std::ifstream(folder_.path() / "log.txt", std::ios::binary).rdbuf();
    return text.str();
  }

  Strings knownUrls() const {
    Strings urls;
    for (const auto& record : profile_.knownMountpoints)
      urls.emplace_back(platform::FieldText(record.url));
    return urls;
  }

  const schedule::ScheduleEntry& entry(std::size_t index) const {
    return profile_.schedule.entry(index);
  }
  std::string_view urlOf(std::size_t index) const { return platform::FieldText(entry(index).url); }

  test::TemporaryFolder folder_;
  schedule::Profile profile_;
  recording::JobTable jobs_;
  test::ScriptedClock clock_;
  test::RecordingPrompter prompter_;
  test::RecordingTone tone_;
  platform::ActivityLog log_{folder_.path()};
  test::RecordingIrcBot irc_;
  test::ScriptedRandom random_{{}};
  ScriptedRecordDialog dialog_;
  ServerMonitor monitor_;
  StatusPages pages_;
};

TEST_F(ServerMonitorTest, KeepAliveAndPollsOnlyInThePollWindows) {
  profile_.settings.ircAutoPost = 1;
  for (int second : {0, 4, 5, 14, 15, 34, 49, 50, 59}) tick(9, 0, second);
  EXPECT_EQ(irc_.lines(), Strings(5, "RAW PING\r\n"));
  addServer("Radio", pages_.url(), 0);
  pages_.set("", Strings{"/live"});
  for (int second : {5, 14, 20, 44, 50, 59}) tick(9, 0, second);
  EXPECT_EQ(pages_.requestCount(), 0u);

  // Chatter Mode draws for a phrase; with auto-posting off nothing is sent.
  profile_.settings.chatterMode = 1;
  random_ = test::ScriptedRandom({20, 7});
  tick(9, 1, 0);
  ASSERT_EQ(irc_.lines().size(), 7u);
  EXPECT_TRUE(irc_.lines().back().starts_with("SAY "));
  profile_.settings.ircAutoPost = 0;
  tick(9, 1, 1);
  EXPECT_EQ(irc_.lines().size(), 7u);
}

TEST_F(ServerMonitorTest, AnEntryInsideItsIgnoreTimeIsNotPolledTheNextOneIs) {
  const auto quiet = addServer("Quiet", pages_.url("/quiet"), 0);
  addServer("Loud", pages_.url("/loud"), 0);
  pages_.set("/quiet", Strings{"/q"});
  pages_.set("/loud", Strings{"/l"});
  profile_.schedule.entry(quiet).ignoreTimes[1] = {1, kMondayBit, 8, 0, 9, 0};
  tick(8, 59, 45);
  EXPECT_EQ(knownUrls(), Strings{pages_.url("/loud/l")});
  tick(9, 0, 0);
  EXPECT_EQ(knownUrls(), (Strings{pages_.url("/loud/l"), pages_.url("/quiet/q")}));
}

TEST_F(ServerMonitorTest, APollEndsWhenItsTimeIsSpentAndTheNextBeginsWithTheServersLeft) {
  for (const char* name : {"/stalled", "/first", "/second"}) {
    addServer(name, pages_.url(name), 0);
    pages_.set(name, Strings{"/m"});
  }
  pages_.set("/stalled", std::nullopt);
  MonitorContext shortPolls = context();
  shortPolls.pollBudget = std::chrono::milliseconds(300);
  tick(9, 0, 0, shortPolls);
  EXPECT_TRUE(knownUrls().empty()) << "the stalled server took all of the poll's time";
  tick(9, 0, 15, shortPolls);
  EXPECT_EQ(knownUrls(), (Strings{pages_.url("/first/m"), pages_.url("/second/m")}));
}

TEST_F(ServerMonitorTest, AServerKeepsOnlyItsNewestKnownMountpointsWhenItHasTooMany) {
  addServer("Rotating", pages_.url(), 0);
  profile_.knownMountpoints.emplace_back();
  platform::CopyToField(profile_.knownMountpoints[0].url, "http://elsewhere/x");
  for (std::size_t i = 0; i < schedule::kMaxKnownPerOwner; ++i)
    schedule::RememberMountpoint(profile_.knownMountpoints, pages_.url("/old") + std::to_string(i),
                                 entry(0).nameKey);
  pages_.set("", Strings{"/new", "/newer"});
  tick(9, 0, 0);
  const Strings known = knownUrls();
  ASSERT_EQ(known.size(), schedule::kMaxKnownPerOwner + 1);
  EXPECT_EQ(known[0], "http://elsewhere/x") << "another server's names stay";
  EXPECT_EQ(known[1], pages_.url("/old2")) << "the two oldest made room";
  EXPECT_EQ(known.back(), pages_.url("/newer"));
}

TEST_F(ServerMonitorTest, LevelTwoBeepsOnceThenAsksAndANoIsRemembered) {
  const std::string url = pages_.url();
  addServer("Radio", url, 2);
  pages_.set("", Strings{"/a", "/b", "/c", "/d"});
  std::size_t beepsAtFirstQuestion = 0;
  prompter_.whileOpen = [&](const std::string&) {
    if (prompter_.questions().empty()) beepsAtFirstQuestion = tone_.played().size();
  };
  tick(10, 30, 30);
  EXPECT_EQ(beepsAtFirstQuestion, 1u);
  EXPECT_EQ(tone_.played().size(), 1u);
  ASSERT_EQ(prompter_.questions().size(), 3u) << "three new names fill a poll";
  EXPECT_EQ(prompter_.questions()[2],
            "A new mointpoint has been found at:\n" + url + "/c\nRecord?");
  EXPECT_EQ(knownUrls(), (Strings{url + "/a", url + "/b", url + "/c"}));
  EXPECT_TRUE(dialog_.opened.empty()) << "only Yes opens the record options";
}

TEST_F(ServerMonitorTest, ALineBreakInAFoundNameStaysInsideItsLogLine) {
  addServer("Radio", pages_.url(), 0);
  pages_.set("", Strings{"/a\r\nForged\r\n"});
  tick(10, 30, 30);
  EXPECT_TRUE(logText().ends_with("\nFound at " + pages_.url("/a  Forged  \n"))) << logText();
}

TEST_F(ServerMonitorTest, LevelFiveMakesMonitoredEntriesThatTakeThePlacesOfLaterPolls) {
  const std::string url = pages_.url();
  addServer("Radio", url + "/", 5, 45);
  pages_.set("", Strings{"/live.mp3", "/b,c", "/x\\y.ogg", "/fourth"});
  tick(23, 59, 45);
  ASSERT_EQ(profile_.schedule.count(), 4u);
  const schedule::ScheduleEntry& made = entry(1);
  EXPECT_EQ(urlOf(1), url + "/live.mp3");
  EXPECT_EQ(platform::FieldText(made.programName), "live mp3 mountpoint");
  EXPECT_EQ(platform::FieldText(entry(2).programName), "b mountpoint");
  EXPECT_EQ(platform::FieldText(entry(3).programName), "x y ogg mountpoint");
  EXPECT_EQ(std::tuple(made.monitorMountpoint, made.deleteWhenDone, made.days, made.timeout),
            std::tuple(1, 1, 0, 45));
  EXPECT_TRUE(knownUrls().empty());

  tick(0, 0, 0);
  EXPECT_EQ(profile_.schedule.count(), 4u) << "three monitored mountpoints fill the poll";
  // "/b" went off the air and its entry is done: its place is free.
  profile_.schedule.eraseEntry(2);
  pages_.set("", Strings{"/live.mp3", "/x\\y.ogg", "/fourth"});
  tick(0, 0, 15);
  ASSERT_EQ(profile_.schedule.count(), 4u);
  EXPECT_EQ(urlOf(3), url + "/fourth");
}

TEST_F(ServerMonitorTest, YesOpensTheRecordOptionsWhoseValuesLastForTheTick) {
  const std::string url = pages_.url();
  addServer("Radio", url, 1, 20);
  pages_.set("", Strings{"/timed", "/again", "/cancelled"});
  for (int i = 0; i < 6; ++i) prompter_.answerNext(true);
  const RecordMountpointValues timed{
      .recordFrom = true, .fromHour = 20, .fromMinute = 0, .toHour = 21, .toMinute = 30};
  dialog_.closes = {timed, timed, std::nullopt};
  tick(12, 0, 45);
  EXPECT_EQ(dialog_.opened, (std::vector<RecordMountpointValues>{{}, timed, timed}));
  ASSERT_EQ(profile_.schedule.count(), 3u);
  EXPECT_EQ(urlOf(1), url + "/timed");
  EXPECT_EQ(std::tuple(entry(1).monitorMountpoint, entry(1).days, entry(1).startHour,
                       entry(1).endMinute, entry(1).timeout),
            std::tuple(0, kMondayBit, 20, 30, 20));
  EXPECT_TRUE(knownUrls().empty()) << "neither a made entry nor a cancelled one is remembered";

  // Timed entries monitor nothing, and a cancelled question is as good as
  // none: the next poll offers all three again, in a new dialog.
  dialog_.opened.clear();
  dialog_.closes = {RecordMountpointValues{.monitorContinuously = true},
                    RecordMountpointValues{.recordUntilDisconnect = true},
                    RecordMountpointValues{}};
  tick(12, 1, 0);
  EXPECT_EQ(dialog_.opened.front(), RecordMountpointValues{});
  ASSERT_EQ(profile_.schedule.count(), 6u);
  EXPECT_EQ(std::tuple(entry(3).monitorMountpoint, entry(3).recordUntilDisconnect, entry(3).days),
            std::tuple(1, 0, 0));
  EXPECT_EQ(std::tuple(entry(4).monitorMountpoint, entry(4).recordUntilDisconnect),
            std::tuple(1, 1));
  EXPECT_EQ(std::tuple(entry(5).monitorMountpoint, entry(5).days, entry(5).endHour),
            std::tuple(0, kMondayBit, 0));
}

TEST(RecordMountpointTimes, OkRefusesTheFirstTimeOutOfItsRange) {
  const std::pair<RecordMountpointValues, int> cases[] = {
      {{.fromHour = 23, .fromMinute = 59, .toHour = 0, .toMinute = 0}, -1},
      {{.fromHour = 24}, 0},
      {{.fromMinute = 60, .toHour = -1}, 1},
      {{.toHour = 24}, 2},
      {{.toMinute = -1}, 3}};
  for (const auto& [values, field] : cases) {
    const auto refusal = CheckTimes(values);
    EXPECT_EQ(refusal ? refusal->field : -1, field);
  }
  EXPECT_EQ(CheckTimes({.toMinute = 60})->message, "Please enter an integer between 0 and 59.");
}

TEST_F(ServerMonitorTest, ATickDuringAQuestionReturnsAtOnce) {
  addServer("Radio", pages_.url(), 1);
  pages_.set("", Strings{"/a", "/b"});
  std::vector<bool> busy;
  prompter_.whileOpen = [&](const std::string&) {
    busy.push_back(monitor_.busy());
    tick(10, 0, 15);
  };
  tick(10, 0, 0);
  EXPECT_EQ(busy, (std::vector<bool>{true, true}));
  EXPECT_EQ(pages_.requestCount(), 1u);
  EXPECT_FALSE(monitor_.busy());
  tick(10, 0, 15);
  EXPECT_EQ(pages_.requestCount(), 2u) << "the flag is clear again after the tick";
}

TEST_F(ServerMonitorTest, WhenItsEntryIsGoneTheTickLeavesItsMountpointsAndGoesOn) {
  addServer("Asking", pages_.url("/asking"), 1);
  addServer("Quiet", pages_.url("/quiet"), 0);
  pages_.set("/asking", Strings{"/a", "/b"});
  pages_.set("/quiet", Strings{"/q"});
  prompter_.whileOpen = [&](const std::string&) { profile_.schedule.eraseEntry(0); };
  tick(18, 0, 30);
  EXPECT_EQ(prompter_.questions().size(), 1u);
  EXPECT_EQ(knownUrls(), Strings{pages_.url("/quiet/q")});
}

// A live Icecast serving our status page template from its web root.
TEST_F(ServerMonitorTest, LevelZeroLogsAndRemembersWhatComesOnTheAirOfALiveIcecast) {
  test::IcecastServer icecast(
      {.webRootFiles = {test::WebRootFile::FromFile(
           std::filesystem::path(LARKSPAN_MONITOR_TEST_DIR) / "status2.xsl")}});
  const std::string server = icecast.url("");
  test::FfmpegSource live(icecast, "/live.mp3", test::SourceFormat::Mp3);
  test::FfmpegSource talk(icecast, "/talk.ogg", test::SourceFormat::OggVorbis);
  addServer("Icecast", server + "/", 0);
  tick(14, 5, 0);
  const std::string firstPoll = logText();
  EXPECT_TRUE(firstPoll.starts_with("2 new mountpoint[s] found at 14:5 on 12-7-2026\n"))
      << firstPoll;
  Strings known = knownUrls();
  std::sort(known.begin(), known.end());
  EXPECT_EQ(known, (Strings{server + "/live.mp3", server + "/talk.ogg"}));
  EXPECT_EQ(profile_.knownMountpoints[0].ownerKey, schedule::nameKey("Icecast"));

  test::FfmpegSource late(icecast, "/late.mp3", test::SourceFormat::Mp3);
  talk.stop();
  tick(14, 5, 30);
  EXPECT_EQ(logText(), firstPoll + "1 new mountpoint[s] found at 14:5 on 12-7-2026\nFound at " +
                           server + "/late.mp3\n");
  EXPECT_EQ(knownUrls().size(), 3u);
  EXPECT_TRUE(prompter_.boxes().empty());
}

}  // namespace
}  // namespace larkspan::monitor
