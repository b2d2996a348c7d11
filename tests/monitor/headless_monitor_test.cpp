#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/text.h"
#include "schedule/profile.h"
#include "tests/support/child_process.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_certificates.h"

namespace larkspan::monitor {
namespace {

namespace fs = std::filesystem;

// The program without windows, on the real clock, with a server entry for a
// live Icecast whose status page (our template) it reads over TLS: within a
// quarter minute the mountpoint is logged, and at SIGTERM the program saves
// it as known.
TEST(HeadlessMonitorTest, TheProgramWithoutWindowsFindsTheMountpointOfALiveIcecast) {
  test::IcecastServer icecast(
      {.webRootFiles = {test::WebRootFile::FromFile(fs::path(LARKSPAN_MONITOR_TEST_DIR) /
                                                    "status2.xsl")},
       .tlsCertificate = test::TrustedTestAuthority().issue("DNS:localhost")});
  test::FfmpegSource live(icecast, "/live.mp3", test::SourceFormat::Mp3);
  test::TemporaryFolder folder;
  const std::string found = icecast.tlsUrl("/live.mp3");
  schedule::Profile profile;
  schedule::ScheduleEntry entry;
  platform::CopyToField(entry.programName, "Icecast");
  platform::CopyToField(entry.url, icecast.tlsUrl(""));
  entry.monitorServer = 1;
  entry.jobSlot = schedule::kJobSlotIdle;
  profile.schedule.appendEntry(entry, {});
  ASSERT_TRUE(schedule::SaveProfile(profile, folder.path()));

  test::ChildProcess program({"env", "-C", folder.path().string(), LARKSPAN_PROGRAM, "--headless"},
                             test::ChildProcess::CurrentEnvironment(),
                             folder.path() / "program.out");
  std::string log;
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(40);
       log.find("Found at " + found + "\n") == std::string::npos &&
       std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
    std::ostringstream text;
    text << std::ifstream(folder.path() / "log.txt").rdbuf();
    log = text.str();
  }
  const int status = program.stop(std::chrono::seconds(20));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_TRUE(schedule::LoadProfile(profile, folder.path()));
  ASSERT_EQ(profile.knownMountpoints.size(), 1u) << log;
  EXPECT_EQ(platform::FieldText(profile.knownMountpoints[0].url), found);
}

}  // namespace
}  // namespace larkspan::monitor
