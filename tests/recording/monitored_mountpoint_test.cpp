#include "tests/recording/recording_thread_fixture.h"

namespace larkspan::recording {
namespace {

using namespace std::chrono_literals;
using test::ScriptedHttpServer;
using test::ScriptedReply;

RecordingJobSetup Monitored(irc::IrcBotMFC* irc = nullptr) {
  return {.persistent = true, .monitorMountpoint = true, .ircClient = irc};
}

TEST_F(RecordingThreadTest, AMonitoredMountpointThatCannotBeReachedGivesUpAtOnce) {
  RecordingJob& refused =
      newJob("http://127.0.0.1:" + std::to_string(test::RefusingPort()) + "/live", "show.mp3",
             Monitored());
  start(refused);
  ASSERT_TRUE(waitFor([&] { return refused.isFinished(); }));
  EXPECT_EQ(refused.status(), "IDLE");
  EXPECT_TRUE(refused.clearEntryReserved);
  EXPECT_FALSE(refused.persistent) << "a monitored mountpoint counts its losses";

  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::NotFound(); });
  RecordingJob& offAir = newJob(server.url("/live"), "show.mp3", Monitored());
  start(offAir);
  ASSERT_TRUE(waitFor([&] { return offAir.isFinished(); }));
  EXPECT_EQ(offAir.status(), "IDLE") << "an error page is no stream";
  EXPECT_FALSE(std::filesystem::exists(dir_ / "show.mp3"));
}

TEST_F(RecordingThreadTest, AMonitoredMountpointStoppedBeforeItConnectedEnds) {
  ScriptedHttpServer server;
  server.setHandler([](const std::string&) { return ScriptedReply::Stall(); });
  RecordingJob& job = newJob(server.url("/live"), "show.mp3", Monitored());
  start(job);
  ASSERT_TRUE(server.waitForRequests(1, 5s));
  stopAndWait(job);
  EXPECT_EQ(job.status(), "IDLE");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "show.mp3"));
}

TEST_F(RecordingThreadTest, AMonitoredMountpointIsProbedThenRecordedFromANewRequest) {
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

TEST_F(RecordingThreadTest, AMonitoredOggStreamIsReplayedFromTheStartAfterItsProbe) {
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

TEST_F(RecordingThreadTest, AMonitoredMountpointThatStaysAwayEndsAfterItsTimeout) {
  ScriptedHttpServer server;
  server.enqueue(ScriptedReply::Stream(0, 3000));
  server.enqueue(ScriptedReply::Stream(0, 3000));
  server.setHandler([](const std::string&) { return ScriptedReply::Raw(""); });
  test::RecordingIrcBot irc;
  RecordingJob& job = newJob(server.url("/live"), "show.mp3", Monitored(&irc));
  job.programName = "Found Live";
  job.entryMonitorsMountpoint = true;
  job.timeoutSeconds = 30;
  const std::int64_t started = clock_.localNow().epochSeconds;
  start(job);
  ASSERT_TRUE(waitFor([&] { return job.isFinished(); }, 60s));
  EXPECT_EQ(job.status(), "CONNECTION FAILED");
  EXPECT_TRUE(job.resetEntryEndCount);
  EXPECT_EQ(irc.lines().back(), "SAY FINISHED - Found Live");
  EXPECT_EQ(readFile("show.mp3"), test::StreamBytes(0, 3000));
  // About one reconnect a second until thirty seconds have passed.
  const std::int64_t elapsed = clock_.localNow().epochSeconds - started;
  EXPECT_GE(elapsed, 30);
  EXPECT_LE(elapsed, 40);
  EXPECT_GE(server.requests().size(), 30u);
}

}  // namespace
}  // namespace larkspan::recording
