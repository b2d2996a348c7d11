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

ScriptedReply Stalled(ScriptedReply reply) {
  reply.stall = true;
  return reply;
}

TEST_F(RecordingTest, AReconnectIsLoggedAndShownAsItHappens) {
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
  EXPECT_EQ(logText(), "Connected to " + url +
                           " at  6: 5 on 12-7-2026\nAccept: *.*, */*\r\nUser-Agent: Larkspan "
                           "(compatible; MSIE 6.0; Windows NT 5.1)\r\n\nConnection to " +
                           url + " failed at  6: 5...attempting reconnect\nReconnected to " + url +
                           " at 6:5\n");
  EXPECT_EQ(readFile("show.mp3"), StreamBytes(0, 5000 + 5 * 1023));
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
  EXPECT_EQ(platform::FieldText(recordUntil(url, "show.mp3", 3 * 1023).url), url);
  EXPECT_TRUE(server.requests().at(0).starts_with("GET /live HTTP/1.0\r\n"));

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
  recordUntil(server.url("/old"), "show.mp3", 5000, {.persistent = true});
  EXPECT_EQ(readFile("show.mp3"), StreamBytes(0, 5000));
  EXPECT_GE(server.requests().size(), 3u) << "every reconnect starts again from the job's URL";
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
  // the start-up folder's); one that cannot be played gives the tone;
  // Disable Sounds silences both.
  platform::StartSoundPlayer sounds(tone_, {.nullOutput = true});
  context_.startSound = &sounds;
  test::MakeToneFile(dir() / "start.ogg", 0.5, "libvorbis", "ogg");
  const std::tuple<const char*, bool, std::size_t> cases[] = {
      {"start.ogg", false, 1}, {"missing.ogg", false, 2}, {"start.ogg", true, 2}, {"", true, 2}};
  for (const auto& [soundFile, disabled, tones] : cases) {
    SCOPED_TRACE(std::string(soundFile) + (disabled ? " disabled" : ""));
    RecordingJob& j = newJob(server.url("/a.ogg"), "more.ogg",
                             {.startSound = *soundFile != '\0',
                              .startSoundFile = soundFile,
                              .disableSounds = disabled,
                              .ircClient = &irc});
    j.programName = "Ogg Show";
    j.entryUrl = "http://host:8000/a.ogg";
    start(j);
    ASSERT_TRUE(waitFor([&] { return j.status() == "RECORDING"; }));
    stopAndWait(j);
    sounds.waitUntilQuiet();
    EXPECT_EQ(sounds.filesPlayed(), 1);
    EXPECT_EQ(tone_.played().size(), tones);
  }
  EXPECT_EQ(irc.lines().at(3), "SAY RECORDING - Ogg Show ( http://host:8000/a.ogg )");
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
  for (const auto& [url, refused] :
       {std::pair{RefusedUrl(), true}, std::pair{offAir.url("/live"), false},
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
  RecordingJob& job = recordUntil(server.url("/live"), "show.mp3", 5 * 1023, Monitored());
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(readFile("show.mp3"), StreamBytes(0, 5 * 1023)) << "probed bytes are not recorded";
  EXPECT_EQ(statuses(job).front(), "RECORDING") << "no CONNECTING for a monitored mountpoint";
}

TEST_F(RecordingTest, AMonitoredOggStreamIsReplayedFromTheStartAfterItsProbe) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, std::numeric_limits<std::uint64_t>::max(), 400'000));
  RecordingJob& job = newJob(server.url("/live.ogg"), "show.ogg", Monitored());
  start(job);
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
  job.programName = "Found Live";
  job.entryMonitorsMountpoint = true;
  job.timeoutSeconds = 30;
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.isFinished(); }, 60s));
  EXPECT_EQ(job.status(), "CONNECTION FAILED");
  EXPECT_TRUE(job.resetEntryEndCount);
  EXPECT_EQ(irc.lines().back(), "SAY FINISHED - Found Live");
  EXPECT_EQ(readFile("show.mp3"), StreamBytes(0, 3000));
  // About one reconnect a second until thirty seconds have passed.
  const std::int64_t elapsed = clock_.localNow().epochSeconds - kMonday0605;
  EXPECT_GE(elapsed, 30);
  EXPECT_LE(elapsed, 40);
  EXPECT_GE(server.requests().size(), 30u);
}

const std::string kIcyHead = "ICY 200 OK\r\nicy-name:X\r\nicy-metaint:8192\r\n\r\n";

TEST_F(RecordingTest, AShoutcastHeaderIsLoggedAndCutAwayAfterEveryConnect) {
  ScriptedHttpServer server;
  // 8192 is more than the read buffer holds: reads take a buffer at a time,
  // after a first chunk of 1,023 bytes that holds the header. The replies
  // after each break announce no interval and are read in chunks again.
  const std::size_t first = 1023 - kIcyHead.size() + 4 * 4096;
  server.enqueue(ScriptedReply::Icy({"icy-name:X", "icy-metaint:8192"}, StreamBytes(0, first)));
  server.enqueue(ScriptedReply::Icy({"icy-name:Y"}, StreamBytes(first, 5000)));
  // The last reply fills whole chunks, header included, and then stalls.
  const std::string lastHead = "ICY 200 OK\r\nicy-name:Z\r\n\r\n";
  const std::size_t all = first + 5000 + 4 * 1023 - lastHead.size();
  server.enqueue(
      Stalled(ScriptedReply::Icy({"icy-name:Z"}, StreamBytes(first + 5000, all - first - 5000))));
  recordUntil(server.url("/"), "show.mp3", all, {.shoutcast = true, .persistent = true});
  EXPECT_TRUE(readFile("show.mp3") == StreamBytes(0, all)) << "the audio differs";
  for (const std::string& head :
       {kIcyHead, std::string("ICY 200 OK\r\nicy-name:Y\r\n\r\n"), lastHead})
    EXPECT_NE(logText().find("\n" + head + "\n"), std::string::npos) << logText();
  EXPECT_TRUE(server.requests().at(0).ends_with(
      "\r\nAccept: Icy-Metadata, */*\r\nUser-Agent: Orvelle\r\n\r\n"));
}

TEST_F(RecordingTest, TextChunksOfALargeMetadataIntervalStayInsideTheBuffers) {
  ScriptedHttpServer server;
  // A first chunk of header and text, then reads of a whole read buffer that
  // begin like text: with the first, five are held back, their copies
  // landing at slots of 4,096 bytes, of which only the first two fit the
  // capture buffer; the sixth chunk on is written.
  const std::string audio = std::string(5 * 4096, 't') + std::string(4096, 'w');
  server.enqueue(Stalled(ScriptedReply::Icy({"icy-name:X", "icy-metaint:8192"},
                                            std::string(1023 - kIcyHead.size(), 'h') + audio)));
  recordUntil(server.url("/"), "show.mp3", audio.size(), {.shoutcast = true});
  EXPECT_EQ(readFile("show.mp3"), audio)
      << "the chunks held back are written, in order, before the first one that is not";
}

TEST_F(RecordingTest, APlaylistLeadsToTheStreamItNamesOnceAndAFullChunkOfTextIsWrittenAtOnce) {
  ScriptedHttpServer streamServer;
  streamServer.enqueue(StreamThenSilence(0, 3 * 1023));
  ScriptedHttpServer server;
  std::string playlist =
      "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + streamServer.url("/live.aac") + "\r\n";
  playlist.resize(200, ' ');
  server.enqueue(ScriptedReply::Ok(playlist));
  RecordingJob& job = newJob(server.url("/listen.pls"), "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.aac") == 3 * 1023; }));
  stopAndWait(job);
  EXPECT_EQ(files(), std::vector<std::string>{"show.aac"}) << "the empty first file is gone";
  EXPECT_EQ(readFile("show.aac"), StreamBytes(0, 3 * 1023));
  EXPECT_EQ(platform::FieldText(job.url), streamServer.url("/live.aac"));
  EXPECT_TRUE(streamServer.requests().at(0).starts_with("GET /live.aac HTTP/1.0\r\n"));

  // An https link is followed as well.
  const std::string secure = "https://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/x.ogg";
  server.enqueue(ScriptedReply::Ok("File1=" + secure + "\n"));
  RecordingJob& second = newJob(server.url("/listen.pls"), "second.mp3");
  start(second);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir() / "second.ogg"); }));
  stopAndWait(second);
  EXPECT_EQ(platform::FieldText(second.url), secure);

  // A whole chunk of text is audio at once; the short chunk that follows
  // arrives with the end of the reply only.
  server.enqueue(Stalled(ScriptedReply::Ok(std::string(1023, 'a') + std::string(500, 'b'))));
  recordUntil(server.url("/live"), "text.mp3", 1023);
  EXPECT_EQ(readFile("text.mp3"), std::string(1023, 'a'));
}

TEST_F(RecordingTest, AUrlInsideRecordedDataIsNeverTakenForAPlaylist) {
  // A full chunk of text naming another stream (a tag, a comment) and audio,
  // then a break: the recording goes on from the same URL into the same
  // file, though its URL implies another extension.
  ScriptedHttpServer elsewhere;
  std::string tag = "TXXX http://127.0.0.1:" + std::to_string(elsewhere.port()) + "/other.aac ";
  tag.resize(1023, 't');
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Ok(tag + StreamBytes(0, 5000)));
  server.enqueue(StreamThenSilence(5000, 1023));
  RecordingJob& job = recordUntil(server.url("/live.aac"), "show.mp3", 1023 + 6023);
  EXPECT_EQ(readFile("show.mp3"), tag + StreamBytes(0, 6023));
  EXPECT_EQ(platform::FieldText(job.url), server.url("/live.aac"));
  EXPECT_TRUE(elsewhere.requests().empty());
  EXPECT_EQ(files(), std::vector<std::string>{"show.mp3"});
}

// Real audio is not the scripted sequence of bytes of 128 and more: about
// half of its chunks begin with a byte below 128, as text does, and an MP3
// file begins with "ID3". None of it may be lost when the stream breaks,
// not even when the first break comes before a whole chunk has arrived.
TEST_F(RecordingTest, AnMp3StreamBrokenAtRandomPointsIsRecordedByteForByte) {
  test::MakeToneFile(dir() / "tone", 10, "libmp3lame", "mp3");
  const std::string mp3 = readFile("tone");
  ScriptedHttpServer server;
  std::mutex mutex;
  std::size_t served = 0;
  std::mt19937 random(4);
  server.setHandler([&](const std::string&) {
    const std::lock_guard lock(mutex);
    if (served == mp3.size()) return StreamThenSilence();
    const std::size_t length =
        served == 0 ? 500
                    : std::min(mp3.size() - served,
                               std::uniform_int_distribution<std::size_t>(1, 12'000)(random));
    served += length;
    return ScriptedReply::Ok(mp3.substr(served - length, length));
  });
  RecordingJob& job =
      recordUntil(server.url("/live.mp3"), "show.mp3", mp3.size(), {.persistent = true});
  EXPECT_EQ(job.status(), "DONE RECORDING");
  EXPECT_TRUE(readFile("show.mp3") == mp3) << "the bytes differ";
}

}  // namespace
}  // namespace larkspan::recording
