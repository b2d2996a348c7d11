#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "monitor_tick_fixture.h"
#include "schedule/scheduler_tick.h"
#include "tests/schedule/scheduler_fixture.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/media_probe.h"
#include "tests/support/test_certificates.h"

namespace larkspan::monitor {
namespace {

using namespace std::chrono_literals;
using test::FfmpegSource;
using test::SourceFormat;
using Strings = std::vector<std::string>;

// A live Icecast whose web root holds our status page template, in the clear
// and over TLS, and the scheduler tick with real recording threads beside
// the monitor tick.
class MonitorIcecastTest : public MonitorTickTest {
 protected:
  MonitorIcecastTest() { window_.recordingPath = (folder_.path() / "rec").string(); }
  ~MonitorIcecastTest() override { schedule::StopScheduledRecordings(profile_, jobs_); }

  void schedulerTick() { schedule::SchedulerTick(scheduler_); }

  Strings sortedKnownUrls() const {
    Strings urls = knownUrls();
    std::sort(urls.begin(), urls.end());
    return urls;
  }

  template <typename Predicate>
  static bool waitFor(Predicate done, std::chrono::milliseconds timeout = 30s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  static test::IcecastOptions ServerOptions() {
    test::IcecastOptions options;
    options.webRootFiles = {test::WebRootFile::FromFile(
        std::filesystem::path(LARKSPAN_MONITOR_TEST_DIR) / "status2.xsl")};
    options.tlsCertificate = test::TrustedTestAuthority().issue("DNS:localhost");
    return options;
  }
  test::IcecastServer icecast_{ServerOptions()};

  platform::SystemClock recordingClock_;
  test::RecordingCommandRunner commands_;
  recording::TrayIconFile tray_;
  std::mutex encoderLock_;
  recording::RecordingContext recording_{.startupDirectory = folder_.path(),
                                         .clock = recordingClock_,
                                         .prompter = prompter_,
                                         .tone = tone_,
                                         .commands = commands_,
                                         .trayIconFile = tray_,
                                         .encoderLock = encoderLock_,
                                         .connectTimeout = 2s,
                                         .readTimeout = 5s,
                                         .retryPause = 100ms,
                                         .errorPause = 100ms};
  recording::ManualJob manual_;
  schedule::FakeWindow window_;
  schedule::SchedulerState state_;
  schedule::SchedulerContext scheduler_{.profile = profile_,
                                        .jobTable = jobs_,
                                        .manualJob = manual_,
                                        .recording = recording_,
                                        .clock = clock_,
                                        .ircClient = nullptr,
                                        .window = window_,
                                        .state = state_};
};

TEST_F(MonitorIcecastTest, LevelZeroLogsAndRemembersWhatComesOnTheAir) {
  const std::string server = icecast_.url("");
  FfmpegSource live(icecast_, "/live.mp3", SourceFormat::Mp3);
  FfmpegSource talk(icecast_, "/talk.ogg", SourceFormat::OggVorbis);
  addServer("Icecast", server + "/", 0);

  at(14, 5, 0);
  tick();
  EXPECT_TRUE(logText().starts_with("2 new mountpoint[s] found at 14:5 on 12-7-2026\n"))
      << logText();
  EXPECT_EQ(sortedKnownUrls(), (Strings{server + "/live.mp3", server + "/talk.ogg"}));
  for (const auto& record : profile_.knownMountpoints)
    EXPECT_EQ(record.ownerKey, schedule::nameKey("Icecast"));
  const std::string firstPoll = logText();

  at(14, 5, 15);
  tick();
  EXPECT_EQ(logText(), firstPoll) << "nothing new";

  FfmpegSource late(icecast_, "/late.mp3", SourceFormat::Mp3);
  talk.stop();
  at(14, 5, 30);
  tick();
  EXPECT_EQ(logText(), firstPoll +
                           "1 new mountpoint[s] found at 14:5 on 12-7-2026\n"
                           "Found at " +
                           server + "/late.mp3\n");
  EXPECT_EQ(knownUrls().size(), 3u);
  EXPECT_TRUE(prompter_.boxes().empty());
}

TEST_F(MonitorIcecastTest, LevelFiveRecordsTheNewMountpointUntilItGoesAwayOverHttps) {
  const std::string server = icecast_.tlsUrl("");
  FfmpegSource live(icecast_, "/live.mp3", SourceFormat::Mp3);
  addServer("Icecast", server, 5, /*timeout=*/2);

  // A loaded machine may need more than one poll of the page over TLS.
  for (int second = 0; second < 5 && profile_.schedule.count() < 2; ++second) {
    at(20, 0, second);
    tick();
  }
  ASSERT_EQ(profile_.schedule.count(), 2u);
  EXPECT_EQ(platform::FieldText(entry(1).url), server + "/live.mp3");
  schedulerTick();
  ASSERT_GE(entry(1).jobSlot, 0) << "the scheduler tick starts a monitor-made entry at once";
  recording::RecordingJob* job = jobs_.at(entry(1).jobSlot);
  ASSERT_TRUE(waitFor([&] { return job->status() == "RECORDING"; })) << job->status();

  const auto file = folder_.path() / "rec/live mp3 mountpoint/live mp3 mountpoint December 7.mp3";
  std::error_code error;
  ASSERT_TRUE(waitFor([&] { return std::filesystem::file_size(file, error) > 48'000; }));

  live.stop();
  // The mount answers 404 now; the recording gives up once that has lasted
  // the entry's timeout.
  ASSERT_TRUE(waitFor([&] { return job->isFinished(); }));
  EXPECT_EQ(job->status(), "CONNECTION FAILED");
  at(20, 0, 5);
  schedulerTick();
  EXPECT_EQ(entry(1).jobSlot, schedule::kJobSlotIdle) << "closed out";
  EXPECT_GT(test::DecodedSeconds(file), 2.0);

  at(20, 0, 15);
  tick();
  const std::string log = logText();
  EXPECT_TRUE(
      log.starts_with("1 new mountpoint[s] found at 20:0 on 12-7-2026\n"
                      "Found at " +
                      server + "/live.mp3\n"))
      << log;
  EXPECT_EQ(log.rfind("new mountpoint"), log.find("new mountpoint")) << "nothing new while away";
  EXPECT_EQ(profile_.schedule.count(), 2u);
}

}  // namespace
}  // namespace larkspan::monitor
