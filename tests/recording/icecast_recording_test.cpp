// Recordings of a real Icecast server fed by ffmpeg, and `larkspan --record`
// run as a user runs it, also onto a disk that fills up.

#include "tests/recording/recording_fixture.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/media_probe.h"
#include "tests/support/test_certificates.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::FfmpegSource;
using test::SourceFormat;

class RecordCommandTest : public RecordingTest {
 protected:
  RecordCommandTest() : RecordingTest(true) {}
  // `larkspan --record` with `arguments`, in the start-up directory, its
  // standard output and error going to output.txt there.
  test::ChildProcess record(std::vector<std::string> arguments, const std::string& limits = "") {
    arguments.insert(arguments.begin(),
                     {"sh", "-c", "cd \"$0\" && trap '' XFSZ && " + limits + "exec \"$@\"",
                      dir().string(), LARKSPAN_BINARY, "--record"});
    return test::ChildProcess(arguments, test::ChildProcess::CurrentEnvironment(),
                              dir() / "output.txt");
  }
  std::string printed() const { return readFile("output.txt"); }
  // The printed lines that begin with `prefix`, the prefix cut off.
  std::vector<std::string> printedLines(std::string_view prefix = "") const {
    std::vector<std::string> lines;
    std::istringstream text(printed());
    for (std::string line; std::getline(text, line);)
      if (line.starts_with(prefix)) lines.push_back(line.substr(prefix.size()));
    return lines;
  }
};

// As a timer or cron line runs it: no signal comes, the duration ends it. The
// burst is 0: a listener gets only what the source sends from the moment it
// connects, so a recording is as long as the time it ran. The mount is served
// over TLS, with a certificate this process trusts.
TEST_F(RecordCommandTest, RecordCommandForADurationRecordsAnMp3AsLongAsItRanAndEndsByItself) {
  const test::IcecastServer icecast(
      {.webRootFiles = {},
       .tlsCertificate = test::TrustedTestAuthority().issue("IP:127.0.0.1,DNS:localhost")});
  FfmpegSource source(icecast, "/live.mp3", SourceFormat::Mp3);
  const std::string url = icecast.tlsUrl("/live.mp3");
  // A relative output name and the activity log land in the working directory.
  test::ChildProcess recorder = record({"--for", "5s", url, "show.mp3"});
  ASSERT_TRUE(waitFor([&] { return printed().find("RECORDING\n") != std::string::npos; }))
      << printed();
  const auto started = SteadyClock::now();
  ASSERT_TRUE(waitFor([&] { return !recorder.running(); })) << "it ends by itself";
  const double ran = std::chrono::duration<double>(SteadyClock::now() - started).count();
  const int status = recorder.wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // Standard error (the session's "Status Code is" lines) shares the file.
  std::vector<std::string> lines = printedLines();
  std::erase_if(lines, [](const std::string& line) { return line.starts_with("Status Code is"); });
  EXPECT_EQ(lines, (std::vector<std::string>{"IDLE", "CONNECTING", "RECORDING", "DONE RECORDING"}));
  const test::MediaInfo info = test::ProbeMedia(path("show.mp3"));
  EXPECT_EQ(info.formatName, "mp3");
  EXPECT_NEAR(info.durationSeconds, ran, 1.5);
  EXPECT_NEAR(ran, 5, 1.5) << "--for 5s counts from the start";
  EXPECT_NE(logText().find("Connected to " + url + " at "), std::string::npos) << logText();
}

TEST_F(RecordCommandTest, RecordCommandEndsWhenItsFileCannotGrowAndKeepsWhatItHolds) {
  test::ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return test::ScriptedReply::Stream(); });
  // The file may not grow past 20,480 bytes, as on a disk that is full; the
  // signal that would kill the program for it is ignored, so writes fail.
  test::ChildProcess recorder = record({server.url("/live"), "show.mp3"}, "ulimit -f 40 && ");
  ASSERT_TRUE(waitFor([&] { return !recorder.running(); })) << "it ends by itself";
  EXPECT_NE(printed().find("\nCANNOT WRITE FILE\n"), std::string::npos) << printed();
  EXPECT_NE(logText().find("Cannot write file " + path("show.mp3") + ": File too large\n"),
            std::string::npos)
      << logText();
  EXPECT_TRUE(readFile("show.mp3") == test::StreamBytes(0, 20'480));
  EXPECT_EQ(server.requests().size(), 1u) << "no reconnects";
}

TEST_F(RecordCommandTest, RecordCommandSaysOnceWhyEachAttemptFailsAndFailsWithoutStreamData) {
  // Two attempts refused (behind a redirect), two met by a certificate from
  // an unknown authority, two error pages, then a stream that never sends a
  // byte.
  test::ScriptedHttpServer server;
  const std::uint16_t refusing = test::RefusingPort();
  const test::TestCertificateAuthority stranger;
  const test::OpensslServer untrusted(stranger.issue("IP:127.0.0.1"));
  const std::string secure = "127.0.0.1:" + std::to_string(untrusted.port());
  for (const std::string& target : {"http://127.0.0.1:" + std::to_string(refusing) + "/live",
                                    "https://" + secure + "/live", std::string()}) {
    for (int i = 0; i < 2; ++i)
      server.enqueue(target.empty() ? test::ScriptedReply::NotFound()
                                    : test::ScriptedReply::Redirect(302, target));
  }
  server.setHandler([](const std::string&) { return test::ScriptedReply::Stall(); });
  test::ChildProcess recorder = record({server.url("/live"), "show.mp3"});
  ASSERT_TRUE(waitFor([&] { return server.requests().size() >= 7; }));
  const int status = recorder.stop(30s);

  EXPECT_NE(printed().find("\nDONE RECORDING\n"), std::string::npos) << printed();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "no stream data: " << status;
  EXPECT_EQ(printedLines("Cannot reach the stream: "),
            (std::vector<std::string>{
                "cannot connect to 127.0.0.1:" + std::to_string(refusing) + ": Connection refused",
                "cannot connect to " + secure +
                    ": certificate verify failed: unable to get local issuer certificate",
                "HTTP 404 Not Found"}));
}

}  // namespace
}  // namespace larkspan::recording
