#include <fcntl.h>
#include <sys/resource.h>

#include <random>

#include "platform/start_sound.h"
#include "platform/text.h"
#include "tests/recording/recording_fixture.h"
#include "tests/support/media_probe.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;
using test::StreamBytes;

std::string RefusedUrl() {
  return "http://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/live";
}

// A URL without a scheme is tried as http; after a break the redirect is
// followed again from the job's own URL, and nothing is lost.
TEST_F(RecordingTest, AReconnectFollowsTheRedirectAgainAndIsLoggedAndShownAsItHappens) {
  ScriptedHttpServer target;
  target.enqueue(ScriptedReply::Stream(0, 5000));
  target.enqueue(StreamThenSilence(5000, 5 * 1023));
  ScriptedHttpServer server;
  server.setHandler(
      [&](const std::string&) { return ScriptedReply::Redirect(302, target.url("/real")); });
  const std::string url = "127.0.0.1:" + std::to_string(server.port()) + "/live";
  RecordingJob& job = start(newJob(url, "show.mp3"));
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") == 5000 + 5 * 1023; }));
  EXPECT_EQ(tray_.get(), "red.ico");
  const auto asked = std::chrono::steady_clock::now();
  stopAndWait(job);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s) << "a stop ends the wait for data";

  EXPECT_EQ(statuses(job), (std::vector<std::string>{"CONNECTING", "RECORDING", "RECONNECTING",
                                                     "RECORDING", "DONE RECORDING"}));
  EXPECT_EQ(logText(), "Connected to " + url +
                           " at  6: 5 on 12-7-2026\nAccept: *.*, */*\r\nUser-Agent: Larkspan "
                           "(compatible; MSIE 6.0; Windows NT 5.1)\r\n\nConnection to " +
                           url + " failed at  6: 5...attempting reconnect\nReconnected to " + url +
                           " at 6:5\n");
  EXPECT_EQ(readFile("show.mp3"), StreamBytes(0, 5000 + 5 * 1023));
  EXPECT_EQ(server.requests().size(), 2u);
}

// Stopped while connecting, an ordinary job still makes its file and ends
// normally; one that lost its stream three times fails and is not
// converted; a file that cannot be created or a URL that cannot be split
// (a warning, no log) ends the job at once.
TEST_F(RecordingTest, EachJobThatCannotRecordEndsWithItsStatus) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string& request) {
    return ScriptedReply::Stream(0, request.starts_with("GET /short ") ? 2000 : UINT64_MAX);
  });
  const std::string refused = RefusedUrl();
  const struct {
    std::string url, output, status, logged;
    std::function<bool()> stopWhen = {};  // none: the job ends by itself
  } rows[] = {
      {refused, "show.mp3", "DONE RECORDING", "Connected to " + refused,
       [] {
         std::this_thread::sleep_for(50ms);
         return true;
       }},
      {server.url("/short"), "lost.mp3", "CONNECTION FAILED", "Connection to ",
       [&] { return server.requests().size() >= 5; }},
      {server.url("/live"), "no-such-folder/show.mp3", "CANNOT CREATE FILE",
       "Cannot create file " + path("no-such-folder/show.mp3") + ": No such file or directory\n"},
      {server.url("/live"), "", "CANNOT CREATE FILE", "Cannot create file " + path("") + ": "},
      {server.url("/live"), ".", "CANNOT CREATE FILE", "Cannot create file " + path(".") + ": "},
      {"", "other.mp3", "IDLE", ""},
      {"::::", "other.mp3", "IDLE", ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.url + " " + row.output);
    const std::string before = logText();
    RecordingJob& job = start(newJob(row.url, row.output, {.convert = true}));
    if (row.stopWhen) {
      ASSERT_TRUE(waitFor(row.stopWhen));
      job.stopRequested = true;
    }
    ASSERT_TRUE(waitFor([&] { return job.isFinished(); }));
    EXPECT_EQ(job.status(), row.status);
    const std::string logged = logText().substr(before.size());
    EXPECT_TRUE(row.logged.empty() ? logged.empty() : logged.find(row.logged) != logged.npos)
        << logged;
  }
  EXPECT_EQ(files(), (std::vector<std::string>{"lost.mp3", "show.mp3"}));
  EXPECT_EQ(commands_.commands().size(), 1u) << "only the one that ended normally is converted";
  const test::RecordingPrompter::Box warning{test::RecordingPrompter::Kind::Warning,
                                             "Cannot parse URL"};
  EXPECT_EQ(prompter_.boxes(), (std::vector<test::RecordingPrompter::Box>{warning, warning}));
}

// Sets the soft limit on descriptors; none puts back the one there was.
void LimitDescriptors(std::optional<rlim_t> soft) {
  static const rlimit saved = [] {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return limit;
  }();
  const rlimit limit{soft.value_or(saved.rlim_cur), saved.rlim_max};
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

TEST_F(RecordingTest, RunningOutOfDescriptorsIsShownAndLogged) {
  ScriptedHttpServer server;
  // With the soft limit at the lowest free descriptor number, nothing new
  // can be opened.
  const auto full = static_cast<rlim_t>(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  ::close(static_cast<int>(full));
  // Another reason shows the connecting status again.
  server.enqueue(ScriptedReply::Redirect(302, RefusedUrl()));
  // Once connected, no descriptor is left for the file.
  server.setHandler([full](const std::string&) {
    LimitDescriptors(full);
    return StreamThenSilence();
  });
  RecordingJob& job = newJob(server.url("/live"), "show.mp3");
  const std::shared_ptr<void> restore(nullptr, [](void*) { LimitDescriptors(std::nullopt); });
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
  const std::string taken[] = {"Show Dec 5.mp3", "Show Dec 5_00.mp3", "ab_cd.mp3"};
  for (const std::string& name : taken) std::ofstream(dir() / name) << name;
  RecordingJob& first = newJob(server.url("/a"), taken[0]);
  RecordingJob& second = newJob(server.url("/b"), path(taken[2]));
  start(first);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir() / "Show Dec 5_01.mp3"); }));
  start(second);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir() / "ab_00.mp3"); }));
  stopAndWait(first);
  stopAndWait(second);
  for (const std::string& name : taken) EXPECT_EQ(readFile(name), name);
}

// A chosen start sound file plays instead of the tone (a relative name is
// the start-up folder's); one that cannot be played gives the tone; Disable
// Sounds silences both. An entry URL that names a file is announced as it is.
TEST_F(RecordingTest, AnnouncesOnIrcAndSoundsTheToneOrTheStartSoundUnlessDisabled) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return StreamThenSilence(); });
  test::RecordingIrcBot irc;
  platform::StartSoundPlayer sounds(tone_, {.nullOutput = true});
  context_.startSound = &sounds;
  test::MakeToneFile(dir() / "start.ogg", 0.5, "libvorbis", "ogg");
  const struct {
    const char* soundFile;
    bool disabled;
    std::size_t tones;  // in all so far
  } rows[] = {{"", false, 1},
              {"start.ogg", false, 1},
              {"missing.ogg", false, 2},
              {"start.ogg", true, 2},
              {"", true, 2}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.soundFile) + (row.disabled ? " disabled" : ""));
    RecordingJob& job = newJob(server.url("/a.ogg"), "show.ogg",
                               {.startSound = *row.soundFile != '\0',
                                .startSoundFile = row.soundFile,
                                .disableSounds = row.disabled,
                                .ircClient = &irc});
    job.programName = "Night Show";
    job.entryUrl = "http://host:8000/a.ogg";
    start(job);
    ASSERT_TRUE(waitFor([&] { return job.status() == "RECORDING"; }));
    stopAndWait(job);
    sounds.waitUntilQuiet();
    EXPECT_EQ(tone_.played(), std::vector(row.tones, std::pair{523, 250}));
  }
  EXPECT_EQ(sounds.filesPlayed(), 1);
  context_.startSound = nullptr;
  EXPECT_EQ(irc.lines().front(), "SAY RECORDING - Night Show ( http://host:8000/a.ogg )");
}

RecordingJobSetup Monitored(irc::IrcBotMFC* irc = nullptr) {
  return {.persistent = true, .monitorMountpoint = true, .ircClient = irc};
}

// A monitored mountpoint is probed, then recorded from a new request, with
// no CONNECTING and without the probed bytes; one without a stream (refused,
// an error page, no answer until stopped) gives up at once without a file.
TEST_F(RecordingTest, AMonitoredMountpointIsProbedThenRecordedFromANewRequestOrGivenUp) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, 5000));
  server.enqueue(StreamThenSilence(0, 5 * 1023));
  RecordingJob& job = recordUntil(server.url("/live"), "show.mp3", 5 * 1023, Monitored());
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(readFile("show.mp3"), StreamBytes(0, 5 * 1023)) << "probed bytes are not recorded";
  EXPECT_EQ(statuses(job).front(), "RECORDING");

  server.setHandler([](const std::string& request) {
    return request.starts_with("GET /off ") ? ScriptedReply::NotFound() : ScriptedReply::Stall();
  });
  const std::string refused = RefusedUrl();
  for (const std::string& url : {refused, server.url("/off"), server.url("/stalls")}) {
    SCOPED_TRACE(url);
    RecordingJob& given = start(newJob(url, "none.mp3", Monitored()));
    if (url.ends_with("/stalls")) {
      ASSERT_TRUE(server.waitForRequests(4, 5s));
      given.stopRequested = true;
    }
    ASSERT_TRUE(waitFor([&] { return given.isFinished(); }));
    EXPECT_EQ(given.status(), "IDLE");
    EXPECT_TRUE(given.clearEntryReserved || url != refused);
  }
  EXPECT_EQ(files(), std::vector<std::string>{"show.mp3"});
}

TEST_F(RecordingTest, AMonitoredOggStreamIsReplayedFromTheStartAfterItsProbe) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, UINT64_MAX, 400'000));
  RecordingJob& job = start(newJob(server.url("/live.ogg"), "show.ogg", Monitored()));
  // The probe reads for fifteen seconds before it goes back to the start.
  ASSERT_TRUE(waitFor([&] { return server.streamBytesSent() > 20'000; }));
  clock_.advance(16s);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.ogg") > 40'000; }));
  stopAndWait(job);
  EXPECT_EQ(server.requests().size(), 1u);
  const std::string recorded = readFile("show.ogg");
  EXPECT_TRUE(recorded == StreamBytes(0, recorded.size())) << "the recording starts at byte 0";
}

TEST_F(RecordingTest, AMonitoredMountpointThatStaysAwayEndsAfterItsTimeout) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, 3000));
  server.enqueue(ScriptedReply::Stream(0, 3000));
  server.setHandler([](const std::string&) { return ScriptedReply::Raw(""); });
  test::RecordingIrcBot irc;
  RecordingJob& job = newJob(server.url("/live"), "show.mp3", Monitored(&irc));
  job.entryMonitorsMountpoint = true;
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.isFinished(); }, 60s));
  EXPECT_EQ(job.status(), "CONNECTION FAILED");
  EXPECT_TRUE(job.resetEntryEndCount);
  EXPECT_EQ(irc.lines().back(), "SAY FINISHED - " + job.programName);
  // About one reconnect a second until its thirty seconds have passed.
  EXPECT_NEAR(clock_.localNow().epochSeconds - kMonday0605, 35, 5);
  EXPECT_GE(server.requests().size(), 30u);
}

TEST_F(RecordingTest, AShoutcastHeaderIsLoggedAndCutAwayAfterEveryConnect) {
  ScriptedHttpServer server;
  // 8192 is more than the read buffer holds: reads take a buffer at a time,
  // after a first chunk of 1,023 bytes that holds the header. The replies
  // after each break announce no interval and are read in chunks again.
  const std::string heads[] = {"ICY 200 OK\r\nicy-name:X\r\nicy-metaint:8192\r\n\r\n",
                               "ICY 200 OK\r\nicy-name:Y\r\n\r\n",
                               "ICY 200 OK\r\nicy-name:Z\r\n\r\n"};
  const std::size_t first = 1023 - heads[0].size() + 4 * 4096;
  server.enqueue(ScriptedReply::Raw(heads[0] + StreamBytes(0, first)));
  server.enqueue(ScriptedReply::Raw(heads[1] + StreamBytes(first, 5000)));
  // The last reply fills whole chunks, header included, and then stalls.
  const std::size_t all = first + 5000 + 4 * 1023 - heads[2].size();
  server.enqueue(
      Stalled(ScriptedReply::Raw(heads[2] + StreamBytes(first + 5000, all - first - 5000))));
  recordUntil(server.url("/"), "show.mp3", all, {.shoutcast = true, .persistent = true});
  EXPECT_TRUE(readFile("show.mp3") == StreamBytes(0, all)) << "the audio differs";
  for (const std::string& head : heads)
    EXPECT_NE(logText().find("\n" + head + "\n"), std::string::npos) << logText();
  EXPECT_TRUE(server.requests().at(0).ends_with(
      "\r\nAccept: Icy-Metadata, */*\r\nUser-Agent: Orvelle\r\n\r\n"));

  // Then a first chunk of header and text, and reads of a whole read buffer
  // that begin like text: with the first, five are held back, their copies
  // landing at slots of 4,096 bytes, of which only the first two fit the
  // capture buffer; the sixth chunk on is written.
  const std::string text = std::string(5 * 4096, 't') + std::string(4096, 'w');
  server.enqueue(
      Stalled(ScriptedReply::Raw(heads[0] + std::string(1023 - heads[0].size(), 'h') + text)));
  recordUntil(server.url("/"), "text.mp3", text.size(), {.shoutcast = true});
  EXPECT_EQ(readFile("text.mp3"), text)
      << "the chunks held back are written, in order, before the first one that is not";
}

// A playlist (http or https) leads to the stream it names, once; a URL
// inside recorded data (a tag, a comment, in a full chunk of text and
// audio) never does, even after a break and though the URL implies another
// extension.
TEST_F(RecordingTest, APlaylistLeadsToTheStreamItNamesOnceButAUrlInsideRecordedDataNever) {
  ScriptedHttpServer streamServer;
  streamServer.enqueue(StreamThenSilence(0, 3 * 1023));
  ScriptedHttpServer server;
  std::string playlist =
      "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + streamServer.url("/live.aac") + "\r\n";
  playlist.resize(200, ' ');
  server.enqueue(ScriptedReply::Ok(playlist));
  RecordingJob& job = start(newJob(server.url("/listen.pls"), "show.mp3"));
  ASSERT_TRUE(waitFor([&] { return fileSize("show.aac") == 3 * 1023; }));
  stopAndWait(job);
  EXPECT_EQ(files(), std::vector<std::string>{"show.aac"}) << "the empty first file is gone";
  EXPECT_EQ(readFile("show.aac"), StreamBytes(0, 3 * 1023));
  EXPECT_EQ(platform::FieldText(job.url), streamServer.url("/live.aac"));

  const std::string secure = "https://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/x.ogg";
  server.enqueue(ScriptedReply::Ok("File1=" + secure + "\n"));
  RecordingJob& second = start(newJob(server.url("/listen.pls"), "second.mp3"));
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir() / "second.ogg"); }));
  stopAndWait(second);
  EXPECT_EQ(platform::FieldText(second.url), secure);

  std::string tag = "TXXX " + streamServer.url("/other.aac ");
  tag.resize(1023, 't');
  server.enqueue(ScriptedReply::Ok(tag + StreamBytes(0, 5000)));
  server.enqueue(StreamThenSilence(5000, 1023));
  RecordingJob& tagged = recordUntil(server.url("/live.aac"), "tagged.mp3", 1023 + 6023);
  EXPECT_EQ(readFile("tagged.mp3"), tag + StreamBytes(0, 6023));
  EXPECT_EQ(platform::FieldText(tagged.url), server.url("/live.aac"));

  // A whole chunk of text is audio at once; the short chunk that follows
  // arrives with the end of the reply only.
  server.enqueue(Stalled(ScriptedReply::Ok(std::string(1023, 'a') + std::string(500, 'b'))));
  recordUntil(server.url("/live"), "text.mp3", 1023);
  EXPECT_EQ(readFile("text.mp3"), std::string(1023, 'a'));
}

// Real audio is not the scripted sequence of bytes of 128 and more: about
// half of its chunks begin with a byte below 128, as text does, and an MP3
// file begins with "ID3". None of it may be lost when the stream breaks,
// not even when the first break comes before a whole chunk has arrived.
TEST_F(RecordingTest, AnMp3StreamBrokenAtRandomPointsIsRecordedByteForByte) {
  test::MakeToneFile(dir() / "tone", 10, "libmp3lame", "mp3");
  const std::string mp3 = readFile("tone");
  ScriptedHttpServer server;
  std::mt19937 random(4);
  for (std::size_t at = 0, length = 500; at < mp3.size();
       at += length, length = std::uniform_int_distribution<std::size_t>(1, 12'000)(random))
    server.enqueue(ScriptedReply::Ok(mp3.substr(at, length)));
  server.setHandler([](const std::string&) { return StreamThenSilence(); });
  recordUntil(server.url("/live.mp3"), "show.mp3", mp3.size(), {.persistent = true});
  EXPECT_TRUE(readFile("show.mp3") == mp3) << "the bytes differ";
}

}  // namespace
}  // namespace larkspan::recording
