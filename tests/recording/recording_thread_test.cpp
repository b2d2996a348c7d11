#include <fcntl.h>
#include <sys/resource.h>

#include "platform/start_sound.h"
#include "platform/text.h"
#include "tests/recording/recording_thread_fixture.h"
#include "tests/support/media_probe.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

void SetSoftDescriptorLimit(rlim_t soft) {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = soft;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Keeps the soft limit on descriptors and puts it back when it ends.
class SavedDescriptorLimit {
 public:
  SavedDescriptorLimit() { ::getrlimit(RLIMIT_NOFILE, &saved_); }
  ~SavedDescriptorLimit() { restore(); }
  void restore() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

// With the soft limit at the lowest free descriptor number, nothing new can
// be opened.
rlim_t LowestFreeDescriptor() {
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ::close(fd);
  return static_cast<rlim_t>(fd);
}

TEST_F(RecordingThreadTest, AReconnectIsLoggedAndShownAsItHappens) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, 5000));
  server.enqueue(StreamThenSilence(5000, 5 * 1023));
  RecordingJob& job = newJob(server.url("/live"), "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 5000 + 5 * 1023; }));
  EXPECT_EQ(tray_.get(), "red.ico");
  const auto asked = std::chrono::steady_clock::now();
  stopAndWait(job);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s) << "a stop ends the wait for data";

  EXPECT_EQ(statuses(job), (std::vector<std::string>{"CONNECTING", "RECORDING", "RECONNECTING",
                                                     "RECORDING", "DONE RECORDING"}));
  const std::string url = server.url("/live");
  EXPECT_EQ(
      logText(),
      "Connected to " + url +
          " at  6: 5 on 12-7-2026\n"
          "Accept: *.*, */*\r\nUser-Agent: Larkspan (compatible; MSIE 6.0; Windows NT 5.1)\r\n\n"
          "Connection to " +
          url +
          " failed at  6: 5...attempting reconnect\n"
          "Reconnected to " +
          url + " at 6:5\n");
  EXPECT_EQ(readFile("show.mp3"), test::StreamBytes(0, 5000 + 5 * 1023));
}

TEST_F(RecordingThreadTest, AnOrdinaryRecordingThatLostItsStreamThreeTimesEndsAsFailed) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::Stream(0, 2000); });
  RecordingJob& job = newJob(server.url("/live"), "show.mp3", {.convert = true, .bitrate = 64});
  start(job);
  ASSERT_TRUE(waitFor([&] { return server.requests().size() >= 5; }));
  stopAndWait(job);
  EXPECT_EQ(job.status(), "CONNECTION FAILED");
  EXPECT_TRUE(commands_.commands().empty()) << "a failed recording is not converted";
}

TEST_F(RecordingThreadTest, StoppedWhileConnectingItStillMakesItsFileAndEndsNormally) {
  RecordingJob& job =
      newJob("http://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/live", "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.status() == "CONNECTING"; }));
  std::this_thread::sleep_for(50ms);
  stopAndWait(job);
  EXPECT_EQ(job.status(), "DONE RECORDING");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "show.mp3"));
  EXPECT_EQ(fileSize("show.mp3"), 0u);
  EXPECT_EQ(logText().rfind("Connected to ", 0), 0u);
}

TEST_F(RecordingThreadTest, RunningOutOfDescriptorsIsShownAndLogged) {
  ScriptedHttpServer server;
  SavedDescriptorLimit saved;
  const rlim_t full = LowestFreeDescriptor();
  // Another reason shows the connecting status again.
  server.enqueue(ScriptedReply::Redirect(
      302, "http://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/live"));
  // Once connected, no descriptor is left for the file.
  server.setHandler([full](const std::string&) {
    SetSoftDescriptorLimit(full);
    return Silent();
  });
  RecordingJob& job = newJob(server.url("/live"), "show.mp3");
  SetSoftDescriptorLimit(full);
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.status() == "TOO MANY OPEN FILES"; }));
  // Room for the sockets and the server's ends of them.
  SetSoftDescriptorLimit(full + 3);
  ASSERT_TRUE(waitFor([&] { return job.isFinished(); }));
  saved.restore();

  EXPECT_EQ(statuses(job),
            (std::vector<std::string>{"CONNECTING", "TOO MANY OPEN FILES", "CONNECTING",
                                      "RECORDING", "TOO MANY OPEN FILES"}));
  EXPECT_EQ(logText(), "Cannot connect to " + server.url("/live") +
                           ": cannot make a socket: Too many open files\n"
                           "Cannot create file " +
                           path("show.mp3") + ": Too many open files\n");
}

TEST_F(RecordingThreadTest, OutputNamesAreNeverReused) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return Silent(); });
  std::ofstream(dir_ / "Show Dec 5.mp3") << "old";
  std::ofstream(dir_ / "Show Dec 5_00.mp3") << "older";
  RecordingJob& first = newJob(server.url("/a"), "Show Dec 5.mp3");
  start(first);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir_ / "Show Dec 5_01.mp3"); }));
  std::ofstream(dir_ / "ab_cd.mp3") << "taken";
  RecordingJob& second = newJob(server.url("/b"), path("ab_cd.mp3"));
  start(second);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir_ / "ab_00.mp3"); }));
  stopAndWait(first);
  stopAndWait(second);
  EXPECT_EQ(readFile("Show Dec 5.mp3"), "old");
  EXPECT_EQ(readFile("Show Dec 5_00.mp3"), "older");
}

TEST_F(RecordingThreadTest, AFileThatCannotBeCreatedEndsTheRecording) {
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
  EXPECT_NE(logText().find("Cannot create file " + path("no-such-folder/show.mp3") +
                           ": No such file or directory\n"),
            std::string::npos);
  EXPECT_TRUE(commands_.commands().empty());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "_00.mp3"));
}

TEST_F(RecordingThreadTest, AUrlWithoutSchemeIsTriedAsHttp) {
  ScriptedHttpServer server;
  server.enqueue(StreamThenSilence(0, 3 * 1023));
  const std::string url = "127.0.0.1:" + std::to_string(server.port()) + "/live";
  RecordingJob& job = newJob(url, "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 3 * 1023; }));
  stopAndWait(job);
  EXPECT_EQ(server.requests().at(0).rfind("GET /live HTTP/1.0\r\n", 0), 0u);
  EXPECT_EQ(platform::FieldText(job.url), url);
}

TEST_F(RecordingThreadTest, AUrlThatCannotBeSplitIsReportedAndEndsTheThread) {
  // Neither the text nor "http://" and the text split into a server name.
  RecordingJob& empty = newJob("", "show.mp3");
  RecordingJob& colons = newJob("::::", "show.mp3");
  start(empty);
  start(colons);
  ASSERT_TRUE(waitFor([&] { return empty.isFinished() && colons.isFinished(); }));
  EXPECT_EQ(empty.status(), "IDLE");
  EXPECT_EQ(colons.status(), "IDLE");
  const test::RecordingPrompter::Box warning{test::RecordingPrompter::Kind::Warning,
                                             "Cannot parse URL"};
  EXPECT_EQ(prompter_.boxes(), (std::vector<test::RecordingPrompter::Box>{warning, warning}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "log.txt"));
}

TEST_F(RecordingThreadTest, FollowingARedirectAgainAfterEveryBreakLosesNothing) {
  ScriptedHttpServer target;
  target.enqueue(ScriptedReply::Stream(0, 2000));
  target.enqueue(ScriptedReply::Stream(2000, 3000));
  target.setHandler([](const std::string&) { return Silent(); });
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

TEST_F(RecordingThreadTest, AnnouncesOnIrcAndSoundsTheToneOrTheStartSoundUnlessDisabled) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return Silent(); });
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

  test::RecordingIrcBot quiet;
  RecordingJob& silent =
      newJob(server.url("/a.ogg"), "other.ogg", {.disableSounds = true, .ircClient = &quiet});
  silent.programName = "Ogg Show";
  silent.entryUrl = "http://host:8000/a.ogg";
  start(silent);
  ASSERT_TRUE(waitFor([&] { return !quiet.lines().empty(); }));
  stopAndWait(silent);
  EXPECT_EQ(quiet.lines().front(), "SAY RECORDING - Ogg Show ( http://host:8000/a.ogg )");
  EXPECT_EQ(tone_.played().size(), 1u) << "no beep with sounds disabled";

  // A chosen start sound file plays instead of the tone (a relative name is
  // the start-up folder's); one that cannot be played gives the tone.
  platform::StartSoundPlayer sounds(tone_, {.nullOutput = true});
  context_->startSound = &sounds;
  test::MakeToneFile(dir_ / "start.ogg", 0.5, "libvorbis", "ogg");
  const auto record = [&](std::string_view soundFile, bool disabled) {
    RecordingJob& j =
        newJob(server.url("/live"), "more.mp3",
               {.startSound = true, .startSoundFile = soundFile, .disableSounds = disabled});
    start(j);
    ASSERT_TRUE(waitFor([&] { return j.status() == "RECORDING"; }));
    stopAndWait(j);
    sounds.waitUntilQuiet();
  };
  record("start.ogg", false);
  EXPECT_EQ(sounds.filesPlayed(), 1);
  EXPECT_EQ(tone_.played().size(), 1u);
  record("missing.ogg", false);
  EXPECT_EQ(tone_.played().size(), 2u);
  record("start.ogg", true);
  EXPECT_EQ(sounds.filesPlayed(), 1) << "Disable Sounds silences the file too";
  EXPECT_EQ(tone_.played().size(), 2u);
  context_->startSound = nullptr;
}

}  // namespace
}  // namespace larkspan::recording
