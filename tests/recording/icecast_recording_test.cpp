// Recordings of a real Icecast server fed by ffmpeg: through the recording
// thread in this process, and through `larkspan --record` as a user runs it,
// also onto a disk that fills up.

#include <sys/wait.h>

#include <limits>
#include <optional>
#include <regex>
#include <thread>

#include "tests/recording/live_recording_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/media_probe.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/test_certificates.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::FfmpegSource;
using test::SourceFormat;

// 128 kbit/s: two seconds of a mount's stream.
constexpr std::uintmax_t kTwoSeconds = 32'000;

double SecondsBetween(std::chrono::steady_clock::time_point from,
                      std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

std::string RegexQuoted(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

// The burst is 0: a listener gets only what the source sends from the moment
// it connects, so a recording is as long as the time it ran. The mounts are
// served in the clear and over TLS, with a certificate this process trusts.
class IcecastRecordingTest : public LiveRecordingTest {
 protected:
  static test::IcecastOptions WithTls() {
    test::IcecastOptions options;
    options.tlsCertificate = test::TrustedTestAuthority().issue("IP:127.0.0.1,DNS:localhost");
    return options;
  }
  test::IcecastServer icecast_{WithTls()};
};

// The same recordings through "http://" and "https://" URLs.
class IcecastSchemeTest : public IcecastRecordingTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::string mountUrl(std::string_view mount) const {
    return GetParam() ? icecast_.tlsUrl(mount) : icecast_.url(mount);
  }
};

INSTANTIATE_TEST_SUITE_P(Schemes, IcecastSchemeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Https" : "Http"; });

TEST_P(IcecastSchemeTest, RecordCommandRecordsAnMp3AsLongAsItRanAndEndsCleanlyOnSigterm) {
  FfmpegSource source(icecast_, "/live.mp3", SourceFormat::Mp3);
  const std::string url = mountUrl("/live.mp3");
  const auto output = dir() / "stdout.txt";
  // The working directory is the start-up directory: a relative output
  // name and the activity log land there.
  test::ChildProcess recorder(
      {"env", "-C", dir().string(), LARKSPAN_BINARY, "--record", url, "show.mp3"},
      test::ChildProcess::CurrentEnvironment(), output);
  ASSERT_TRUE(waitFor([&] { return readFile(output).find("RECORDING\n") != std::string::npos; }))
      << readFile(output);
  const auto started = SteadyClock::now();
  std::this_thread::sleep_for(6s);
  const auto stopped = SteadyClock::now();
  const int status = recorder.stop(30s);

  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // Standard error (the session's "Status Code is" lines) shares the file.
  std::vector<std::string> lines;
  std::istringstream printed(readFile(output));
  for (std::string line; std::getline(printed, line);) {
    if (line.rfind("Status Code is", 0) != 0) lines.push_back(line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"IDLE", "CONNECTING", "RECORDING", "DONE RECORDING"}));

  const test::MediaInfo info = test::ProbeMedia(path("show.mp3"));
  EXPECT_EQ(info.formatName, "mp3");
  const double ran = SecondsBetween(started, stopped);
  EXPECT_NEAR(info.durationSeconds, ran, 1.5) << "ran " << ran << " s";
  EXPECT_NE(logText().find("Connected to " + url + " at "), std::string::npos) << logText();
}

TEST_F(LiveRecordingTest, RecordCommandEndsWhenItsFileCannotGrowAndKeepsWhatItHolds) {
  test::ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return test::ScriptedReply::Stream(); });
  // The file may not grow past 20,480 bytes, as on a disk that is full; the
  // signal that would kill the program for it is ignored, so writes fail.
  const auto output = dir() / "stdout.txt";
  test::ChildProcess recorder(
      {"sh", "-c",
       "cd \"$1\" && trap '' XFSZ && ulimit -f 40 && exec \"$2\" --record \"$3\" show.mp3", "sh",
       dir().string(), LARKSPAN_BINARY, server.url("/live")},
      test::ChildProcess::CurrentEnvironment(), output);
  ASSERT_TRUE(waitFor([&] { return !recorder.running(); })) << "it ends by itself";
  EXPECT_NE(readFile(output).find("\nCANNOT WRITE FILE\n"), std::string::npos) << readFile(output);
  EXPECT_NE(logText().find("Cannot write file " + path("show.mp3").string() + ": File too large\n"),
            std::string::npos)
      << logText();
  EXPECT_TRUE(readFile(path("show.mp3")) == test::StreamBytes(0, 20'480));
  EXPECT_EQ(server.requests().size(), 1u) << "no reconnects";
}

// As a timer or cron line runs it: no signal comes, the duration ends it.
TEST_F(LiveRecordingTest, RecordCommandForADurationStopsByItselfWithTheBytesServed) {
  test::ScriptedHttpServer server;
  server.setHandler([](const std::string&) {
    return test::ScriptedReply::Stream(0, std::numeric_limits<std::uint64_t>::max(), 16'000);
  });
  const auto output = dir() / "output.txt";
  const auto started = SteadyClock::now();
  test::ChildProcess recorder({"env", "-C", dir().string(), LARKSPAN_BINARY, "--record", "--for",
                               "3s", server.url("/live"), "show.mp3"},
                              test::ChildProcess::CurrentEnvironment(), output);
  ASSERT_TRUE(waitFor([&] { return !recorder.running(); })) << "it ends by itself";
  EXPECT_GE(SecondsBetween(started, SteadyClock::now()), 3.0);
  const int status = recorder.wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << readFile(output);
  EXPECT_NE(readFile(output).find("\nDONE RECORDING\n"), std::string::npos) << readFile(output);
  const std::string recorded = readFile(path("show.mp3"));
  EXPECT_GE(recorded.size(), 16'000u) << "a second of the three, at least";
  EXPECT_TRUE(recorded == test::StreamBytes(0, recorded.size()));
}

TEST_F(LiveRecordingTest, RecordCommandSaysOnceWhyEachAttemptFailsAndFailsWithoutStreamData) {
  // Two attempts refused (behind a redirect), two met by a certificate from
  // an unknown authority, two error pages, then a stream that never sends a
  // byte.
  test::ScriptedHttpServer server;
  const std::uint16_t refusing = test::RefusingPort();
  const test::TestCertificateAuthority stranger;
  const test::OpensslServer untrusted(stranger.issue("IP:127.0.0.1"));
  const std::string secure = "127.0.0.1:" + std::to_string(untrusted.port());
  for (int i = 0; i < 2; ++i) {
    server.enqueue(test::ScriptedReply::Redirect(
        302, "http://127.0.0.1:" + std::to_string(refusing) + "/live"));
  }
  for (int i = 0; i < 2; ++i) {
    server.enqueue(test::ScriptedReply::Redirect(302, "https://" + secure + "/live"));
  }
  server.enqueue(test::ScriptedReply::NotFound());
  server.enqueue(test::ScriptedReply::NotFound());
  server.setHandler([](const std::string&) { return test::ScriptedReply::Stall(); });
  const auto output = dir() / "output.txt";
  test::ChildProcess recorder(
      {"env", "-C", dir().string(), LARKSPAN_BINARY, "--record", server.url("/live"), "show.mp3"},
      test::ChildProcess::CurrentEnvironment(), output);
  ASSERT_TRUE(waitFor([&] { return server.requests().size() >= 7; }));
  const int status = recorder.stop(30s);

  ASSERT_TRUE(WIFEXITED(status)) << status;
  const std::string printed = readFile(output);
  EXPECT_NE(printed.find("\nDONE RECORDING\n"), std::string::npos) << printed;
  EXPECT_EQ(WEXITSTATUS(status), 1) << "the file holds no stream data";
  std::vector<std::string> reasons;
  std::istringstream lines(printed);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Cannot reach the stream: ", 0) == 0) reasons.push_back(line.substr(25));
  }
  EXPECT_EQ(reasons,
            (std::vector<std::string>{
                "cannot connect to 127.0.0.1:" + std::to_string(refusing) + ": Connection refused",
                "cannot connect to " + secure +
                    ": certificate verify failed: unable to get local issuer certificate",
                "HTTP 404 Not Found"}));
}

TEST_P(IcecastSchemeTest, AStreamThatGoesAwayAndComesBackIsRecordedAcrossTheGap) {
  std::optional<FfmpegSource> source;
  source.emplace(icecast_, "/live.mp3", SourceFormat::Mp3);
  const std::string url = mountUrl("/live.mp3");
  // Persistent, as the scheduler's recordings are: a recording that is not
  // ends "CONNECTION FAILED" once three cycles have lost the stream.
  RecordingJob& job = newJob(url, "show.mp3", {.persistent = true});
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") >= kTwoSeconds; }));
  const auto firstStart = *firstTime(job, "RECORDING");

  source->stop();
  ASSERT_TRUE(waitFor([&] { return job.status() == "RECONNECTING"; }));
  const auto gap = SteadyClock::now();
  // While the mount is down every reconnect meets Icecast's 404 page.
  std::this_thread::sleep_for(2500ms);
  const std::uintmax_t sizeAtGap = fileSize("show.mp3");

  source.emplace(icecast_, "/live.mp3", SourceFormat::Mp3);
  ASSERT_TRUE(waitFor([&] { return job.status() == "RECORDING"; }));
  const auto secondStart = *firstTime(job, "RECORDING", gap);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") >= sizeAtGap + kTwoSeconds; }));
  const auto stopped = SteadyClock::now();
  stopAndWait(job);

  EXPECT_TRUE(InOrder(statuses(job),
                      {"CONNECTING", "RECORDING", "RECONNECTING", "RECORDING", "DONE RECORDING"}));
  EXPECT_EQ(job.status(), "DONE RECORDING");
  const std::string log = logText();
  std::smatch failed;
  ASSERT_TRUE(std::regex_search(log, failed,
                                std::regex("Connection to " + RegexQuoted(url) +
                                           " failed at [ \\d]\\d:[ \\d]\\d\\.\\.\\.attempting "
                                           "reconnect\n")))
      << log;
  EXPECT_TRUE(
      std::regex_search(failed.suffix().first, log.cend(),
                        std::regex("Reconnected to " + RegexQuoted(url) + " at \\d+:\\d+\n")))
      << log;

  const std::string recorded = readFile(path("show.mp3"));
  EXPECT_GT(recorded.size(), sizeAtGap + kTwoSeconds / 2);
  EXPECT_EQ(recorded.find("<html"), std::string::npos) << "an error page entered the recording";
  const test::MediaInfo info = test::ProbeMedia(path("show.mp3"));
  EXPECT_EQ(info.formatName, "mp3");
  // The gap itself is not in the file: only the two stretches on the air.
  const double onAir = SecondsBetween(firstStart, gap) + SecondsBetween(secondStart, stopped);
  EXPECT_NEAR(test::DecodedSeconds(path("show.mp3")), onAir, 1.5);
}

TEST_F(IcecastRecordingTest, APlainUrlRedirectedToHttpsRecordsTheMountOverTls) {
  FfmpegSource source(icecast_, "/live.mp3", SourceFormat::Mp3);
  test::ScriptedHttpServer redirector;
  redirector.setHandler([this](const std::string&) {
    return test::ScriptedReply::Redirect(302, icecast_.tlsUrl("/live.mp3", "127.0.0.1"));
  });
  RecordingJob& job = newJob(redirector.url("/live"), "show.mp3");
  start(job);
  ASSERT_TRUE(waitFor([&] { return fileSize("show.mp3") >= kTwoSeconds; }));
  stopAndWait(job);

  EXPECT_EQ(job.status(), "DONE RECORDING");
  EXPECT_EQ(test::ProbeMedia(path("show.mp3")).formatName, "mp3");
}

TEST_F(IcecastRecordingTest, AnOggMountRecordsAsOgg) {
  FfmpegSource source(icecast_, "/live.ogg", SourceFormat::OggVorbis);
  // The Ogg muxer and Icecast hand out whole pages, which lag the tone by
  // a second or two at first.
  std::this_thread::sleep_for(3s);
  RecordingJob& job = newJob(icecast_.url("/live.ogg"), "show.ogg", {.extension = "ogg"});
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.status() == "RECORDING"; }));
  const auto started = SteadyClock::now();
  std::this_thread::sleep_for(5s);
  const auto stopped = SteadyClock::now();
  stopAndWait(job);

  EXPECT_EQ(job.status(), "DONE RECORDING");
  EXPECT_EQ(readFile(path("show.ogg")).substr(0, 4), "OggS");
  const test::MediaInfo info = test::ProbeMedia(path("show.ogg"));
  EXPECT_EQ(info.formatName, "ogg");
  EXPECT_EQ(info.codecName, "vorbis");
  const double ran = SecondsBetween(started, stopped);
  const double decoded = test::DecodedSeconds(path("show.ogg"));
  EXPECT_GT(decoded, ran - 1.5) << "ran " << ran << " s";
  EXPECT_LT(decoded, ran + 0.5) << "ran " << ran << " s";
}

}  // namespace
}  // namespace larkspan::recording
