#include <fcntl.h>
#include <sys/resource.h>

#include "platform/start_sound.h"
#include "platform/text.h"
#include "tests/recording/recording_fixture.h"
#include "tests/support/media_probe.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

std::string RefusedUrl() {
  return "http://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/live";
}

TEST_F(RecordingTest, AReconnectIsLoggedAndShownAsItHappens) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, 5000));
  server.enqueue(StreamThenSilence(5000, 5 * 1023));
  RecordingJob& job = newJob(server.url("/live"), "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 5000 + 5 * 1023; }));
  EXPECT_EQ(tray_.get(), "red.ico");
  stopAndWait(job);

  EXPECT_EQ(statuses(job), (std::vector<std::string>{"CONNECTING", "RECORDING", "RECONNECTING",
                                                     "RECORDING", "DONE RECORDING"}));
  const std::string url = server.url("/live");
  EXPECT_EQ(logText(), "Connected to " + url +
                           " at  6: 5 on 12-7-2026\nAccept: *.*, */*\r\nUser-Agent: Larkspan "
                           "(compatible; MSIE 6.0; Windows NT 5.1)\r\n\nConnection to " +
                           url + " failed at  6: 5...attempting reconnect\nReconnected to " + url +
                           " at 6:5\n");
  EXPECT_EQ(readFile("show.mp3"), test::StreamBytes(0, 5000 + 5 * 1023));
}

TEST_F(RecordingTest, AnOrdinaryRecordingThatLostItsStreamThreeTimesEndsAsFailed) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::Stream(0, 2000); });
  RecordingJob& job = newJob(server.url("/live"), "show.mp3", {.convert = true, .bitrate = 64});
  start(job);
  ASSERT_TRUE(waitFor([&] { return server.requests().size() >= 5; }));
  stopAndWait(job);
  EXPECT_EQ(job.status(), "CONNECTION FAILED");
  EXPECT_TRUE(commands_.commands().empty()) << "a failed recording is not converted";
}

TEST_F(RecordingTest, StoppedWhileConnectingItStillMakesItsFileAndEndsNormally) {
  RecordingJob& job = newJob(RefusedUrl(), "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.status() == "CONNECTING"; }));
  std::this_thread::sleep_for(50ms);
  stopAndWait(job);
  EXPECT_EQ(job.status(), "DONE RECORDING");
  EXPECT_EQ(files(), std::vector<std::string>{"show.mp3"});
  EXPECT_EQ(fileSize("show.mp3"), 0u);
  EXPECT_TRUE(logText().starts_with("Connected to "));
}

// Sets the soft limit on descriptors; none puts back the one there was.
void LimitDescriptors(std::optional<rlim_t> soft) {
  static const rlimit saved = [] {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return limit;
  }();
  rlimit limit = saved;
  limit.rlim_cur = soft.value_or(saved.rlim_cur);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

TEST_F(RecordingTest, RunningOutOfDescriptorsIsShownAndLogged) {
  ScriptedHttpServer server;
  // With the soft limit at the lowest free descriptor number, nothing new
  // can be opened.
  const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ::close(lowest);
  const auto full = static_cast<rlim_t>(lowest);
  // Another reason shows the connecting status again.
  server.enqueue(ScriptedReply::Redirect(302, RefusedUrl()));
  // Once connected, no descriptor is left for the file.
  server.setHandler([full](const std::string&) {
    LimitDescriptors(full);
    return StreamThenSilence();
  });
  RecordingJob& job = newJob(server.url("/live"), "show.mp3");
  struct Restore {
    ~Restore() { LimitDescriptors(std::nullopt); }
  } restore;
  LimitDescriptors(full);
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.status() == "TOO MANY OPEN FILES"; }));
  // Room for the sockets and the server's ends of them.
  LimitDescriptors(full + 3);
  ASSERT_TRUE(waitFor([&] { return job.isFinished(); }));
  LimitDescriptors(std::nullopt);

  EXPECT_EQ(statuses(job),
            (std::vector<std::string>{"CONNECTING", "TOO MANY OPEN FILES", "CONNECTING",
                                      "RECORDING", "TOO MANY OPEN FILES"}));
  EXPECT_EQ(logText(), "Cannot connect to " + server.url("/live") +
                           ": cannot make a socket: Too many open files\nCannot create file " +
                           path("show.mp3") + ": Too many open files\n");
}

TEST_F(RecordingTest, OutputNamesAreNeverReused) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return StreamThenSilence(); });
  std::ofstream(dir() / "Show Dec 5.mp3") << "old";
  std::ofstream(dir() / "Show Dec 5_00.mp3") << "older";
  std::ofstream(dir() / "ab_cd.mp3") << "taken";
  RecordingJob& first = newJob(server.url("/a"), "Show Dec 5.mp3");
  RecordingJob& second = newJob(server.url("/b"), path("ab_cd.mp3"));
  start(first);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir() / "Show Dec 5_01.mp3"); }));
  start(second);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir() / "ab_00.mp3"); }));
  stopAndWait(first);
  stopAndWait(second);
  EXPECT_EQ(readFile("Show Dec 5.mp3"), "old");
  EXPECT_EQ(readFile("Show Dec 5_00.mp3"), "older");
}

TEST_F(RecordingTest, AFileThatCannotBeCreatedEndsTheRecording) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::Stream(); });
  // No such folder, and names that name no file at all.
  for (const std::string output : {"no-such-folder/show.mp3", "", "."}) {
    RecordingJob& job = newJob(server.url("/live"), output, {.convert = true});
    start(job);
    ASSERT_TRUE(waitFor([&] { return job.isFinished(); })) << output;
    EXPECT_EQ(job.status(), "CANNOT CREATE FILE") << output;
    EXPECT_NE(logText().find("Cannot create file " + path(output) + ": "), std::string::npos)
        << output;
  }
  EXPECT_NE(logText().find(": No such file or directory\n"), std::string::npos);
  EXPECT_TRUE(commands_.commands().empty());
  EXPECT_TRUE(files().empty());
}

TEST_F(RecordingTest, AUrlWithoutSchemeIsTriedAsHttpAndOneThatCannotBeSplitIsReported) {
  ScriptedHttpServer server;
  server.enqueue(StreamThenSilence(0, 3 * 1023));
  const std::string url = "127.0.0.1:" + std::to_string(server.port()) + "/live";
  RecordingJob& job = newJob(url, "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 3 * 1023; }));
  stopAndWait(job);
  EXPECT_TRUE(server.requests().at(0).starts_with("GET /live HTTP/1.0\r\n"));
  EXPECT_EQ(platform::FieldText(job.url), url);

  // Neither the text nor "http://" and the text split into a server name.
  std::filesystem::remove(dir() / "log.txt");
  for (const char* text : {"", "::::"}) {
    RecordingJob& bad = newJob(text, "other.mp3");
    start(bad);
    ASSERT_TRUE(waitFor([&] { return bad.isFinished(); }));
    EXPECT_EQ(bad.status(), "IDLE");
  }
  const test::RecordingPrompter::Box warning{test::RecordingPrompter::Kind::Warning,
                                             "Cannot parse URL"};
  EXPECT_EQ(prompter_.boxes(), (std::vector<test::RecordingPrompter::Box>{warning, warning}));
  EXPECT_FALSE(std::filesystem::exists(dir() / "log.txt"));
}

TEST_F(RecordingTest, FollowingARedirectAgainAfterEveryBreakLosesNothing) {
  ScriptedHttpServer target;
  target.enqueue(ScriptedReply::Stream(0, 2000));
  target.enqueue(ScriptedReply::Stream(2000, 3000));
  target.setHandler([](const std::string&) { return StreamThenSilence(); });
  ScriptedHttpServer server;
  server.setHandler(
      [&](const std::string&) { return ScriptedReply::Redirect(302, target.url("/real")); });
  RecordingJob& job = newJob(server.url("/old"), "show.mp3", {.persistent = true});
  start(job);
  ASSERT_TRUE(waitFor([&] {
    return fileSize("show.mp3") == 5000 && server.requests().size() >= 3;
  })) << "every reconnect starts again from the job's URL";
  stopAndWait(job);
  EXPECT_EQ(readFile("show.mp3"), test::StreamBytes(0, 5000));
}

TEST_F(RecordingTest, AnnouncesOnIrcAndSoundsTheToneOrTheStartSoundUnlessDisabled) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return StreamThenSilence(); });
  test::RecordingIrcBot irc("#radio");
  RecordingJob& job =
      newJob(server.url("/stream"), "show.mp3", {.ircClient = &irc, .updateTopic = true});
  job.programName = "Night Show";
  job.entryUrl = "http://host:8000/stream";
  start(job);
  ASSERT_TRUE(waitFor([&] { return irc.lines().size() == 2; }));
  stopAndWait(job);
  EXPECT_EQ(irc.lines(),
            (std::vector<std::string>{
                "SAY RECORDING - Night Show ( http://host:8000/stream.m3u )",
                "RAW TOPIC #radio :RECORDING - Night Show ( http://host:8000/stream.m3u )\r\n",
                "SAY FINISHED - Night Show"}));
  EXPECT_EQ(tone_.played(), (std::vector<std::pair<int, int>>{{523, 250}}));

  // A chosen start sound file plays instead of the tone (a relative name is
  // the start-up folder's); one that cannot be played gives the tone.
  platform::StartSoundPlayer sounds(tone_, {.nullOutput = true});
  context_.startSound = &sounds;
  test::MakeToneFile(dir() / "start.ogg", 0.5, "libvorbis", "ogg");
  struct Case {
    const char* soundFile;
    bool disabled;
    int filesPlayed;
    std::size_t tones;
  };
  for (const Case c : {Case{"start.ogg", false, 1, 1}, Case{"missing.ogg", false, 1, 2},
                       Case{"start.ogg", true, 1, 2}, Case{"", true, 1, 2}}) {
    SCOPED_TRACE(std::string(c.soundFile) + (c.disabled ? " disabled" : ""));
    test::RecordingIrcBot quiet;
    RecordingJob& j = newJob(server.url("/a.ogg"), "more.ogg",
                             {.startSound = !std::string(c.soundFile).empty(),
                              .startSoundFile = c.soundFile,
                              .disableSounds = c.disabled,
                              .ircClient = &quiet});
    j.programName = "Ogg Show";
    j.entryUrl = "http://host:8000/a.ogg";
    start(j);
    ASSERT_TRUE(waitFor([&] { return j.status() == "RECORDING"; }));
    stopAndWait(j);
    sounds.waitUntilQuiet();
    EXPECT_EQ(quiet.lines().front(), "SAY RECORDING - Ogg Show ( http://host:8000/a.ogg )");
    EXPECT_EQ(sounds.filesPlayed(), c.filesPlayed);
    EXPECT_EQ(tone_.played().size(), c.tones);
  }
  context_.startSound = nullptr;
}

RecordingJobSetup Monitored(irc::IrcBotMFC* irc = nullptr) {
  return {.persistent = true, .monitorMountpoint = true, .ircClient = irc};
}

TEST_F(RecordingTest, AMonitoredMountpointWithoutAStreamGivesUpAtOnceWithoutAFile) {
  ScriptedHttpServer offAir;
  offAir.setHandler([](const std::string&) { return ScriptedReply::NotFound(); });
  ScriptedHttpServer stalls;
  stalls.setHandler([](const std::string&) { return ScriptedReply::Stall(); });
  for (const auto& [url, refused] : {std::pair{RefusedUrl(), true},
                                     std::pair{offAir.url("/live"), false},
                                     std::pair{stalls.url("/live"), false}}) {
    SCOPED_TRACE(url);
    RecordingJob& job = newJob(url, "show.mp3", Monitored());
    start(job);
    // One that never answers is stopped before it connected.
    if (url == stalls.url("/live")) {
      ASSERT_TRUE(stalls.waitForRequests(1, 5s));
      stopAndWait(job);
    }
    ASSERT_TRUE(waitFor([&] { return job.isFinished(); }));
    EXPECT_EQ(job.status(), "IDLE");
    EXPECT_TRUE(job.clearEntryReserved || !refused);
    EXPECT_TRUE(files().empty());
  }
}

TEST_F(RecordingTest, AMonitoredMountpointIsProbedThenRecordedFromANewRequest) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, 5000));
  server.enqueue(StreamThenSilence(0, 5 * 1023));
  RecordingJob& job = newJob(server.url("/live"), "show.mp3", Monitored());
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 5 * 1023; }));
  stopAndWait(job);
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(readFile("show.mp3"), test::StreamBytes(0, 5 * 1023))
      << "probed bytes are not recorded";
  EXPECT_EQ(statuses(job).front(), "RECORDING") << "no CONNECTING for a monitored mountpoint";
}

TEST_F(RecordingTest, AMonitoredOggStreamIsReplayedFromTheStartAfterItsProbe) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, std::numeric_limits<std::uint64_t>::max(), 400'000));
  RecordingJob& job = newJob(server.url("/live.ogg"), "show.ogg", Monitored());
  ASSERT_TRUE(job.oggStream);
  start(job);
  // The probe reads for fifteen seconds before it goes back to the start.
  ASSERT_TRUE(waitFor([&] { return server.streamBytesSent() > 20'000; }));
  clock_.advance(16s);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.ogg") > 40'000; }));
  stopAndWait(job);
  EXPECT_EQ(server.requests().size(), 1u);
  const std::string recorded = readFile("show.ogg");
  EXPECT_TRUE(recorded == test::StreamBytes(0, recorded.size()))
      << "the recording starts at the first byte";
}

TEST_F(RecordingTest, AMonitoredMountpointThatStaysAwayEndsAfterItsTimeout) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, 3000));
  server.enqueue(ScriptedReply::Stream(0, 3000));
  server.setHandler([](const std::string&) { return ScriptedReply::Raw(""); });
  test::RecordingIrcBot irc;
  RecordingJob& job = newJob(server.url("/live"), "show.mp3", Monitored(&irc));
  job.programName = "Found Live";
  job.entryMonitorsMountpoint = true;
  job.timeoutSeconds = 30;
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.isFinished(); }, 60s));
  EXPECT_EQ(job.status(), "CONNECTION FAILED");
  EXPECT_TRUE(job.resetEntryEndCount);
  EXPECT_EQ(irc.lines().back(), "SAY FINISHED - Found Live");
  EXPECT_EQ(readFile("show.mp3"), test::StreamBytes(0, 3000));
  // About one reconnect a second until thirty seconds have passed.
  const std::int64_t elapsed = clock_.localNow().epochSeconds - kMonday0605;
  EXPECT_GE(elapsed, 30);
  EXPECT_LE(elapsed, 40);
  EXPECT_GE(server.requests().size(), 30u);
}

}  // namespace
}  // namespace larkspan::recording
