#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/text.h"
#include "schedule/name_key.h"
#include "schedule/profile.h"
#include "tests/support/child_process.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_certificates.h"

namespace larkspan::monitor {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The program without windows, on the real clock, with a server entry of
// level 5 for a live Icecast of one mountpoint, whose status page it reads
// over TLS. Within a quarter minute the monitor makes an entry for the
// mountpoint and the scheduler tick records it; at SIGTERM the program stops
// the recording, drops the temporary entry and saves the profile.
TEST(HeadlessMonitorTest, LevelFiveRecordsANewMountpointThroughTheProgram) {
  test::IcecastServer icecast(
      {.webRootFiles = {test::WebRootFile::FromFile(fs::path(LARKSPAN_MONITOR_TEST_DIR) /
                                                    "status2.xsl")},
       .tlsCertificate = test::TrustedTestAuthority().issue("DNS:localhost")});
  test::FfmpegSource live(icecast, "/live.mp3", test::SourceFormat::Mp3);
  test::TemporaryFolder folder;
  const std::string server = icecast.tlsUrl("");
  {
    schedule::Profile profile;
    profile.settings = schedule::DefaultProfileSettings(folder.path());
    platform::CopyToField(profile.settings.recordingPath, (folder.path() / "rec").string() + "/");
    schedule::ScheduleEntry entry;
    platform::CopyToField(entry.programName, "Icecast");
    platform::CopyToField(entry.url, server);
    entry.nameKey = schedule::nameKey("Icecast");
    entry.monitorServer = 1;
    entry.monitorLevel = 5;
    entry.timeout = 5;
    entry.keep = 1;
    entry.jobSlot = schedule::kJobSlotIdle;
    profile.schedule.appendEntry(entry, {});
    ASSERT_TRUE(schedule::SaveProfile(profile, folder.path()));
  }

  test::ChildProcess program({"env", "-C", folder.path().string(), LARKSPAN_PROGRAM, "--headless"},
                             test::ChildProcess::CurrentEnvironment(),
                             folder.path() / "program.out");
  // The recording, named for the day it began.
  const auto recorded = [&] {
    std::error_code error;
    for (const auto& file :
         fs::directory_iterator(folder.path() / "rec/live mp3 mountpoint", error)) {
      const std::uintmax_t size = file.file_size(error);
      return error ? 0 : size;
    }
    return std::uintmax_t{0};
  };
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while ((recorded() < 64'000 ||
          ReadText(folder.path() / "program.out").find("RECORDING - live mp3 mountpoint") ==
              std::string::npos) &&
         std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int status = program.stop(std::chrono::seconds(20));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string log = ReadText(folder.path() / "log.txt");
  EXPECT_GE(recorded(), 64'000u) << ReadText(folder.path() / "program.out") << log;
  EXPECT_NE(log.find("1 new mountpoint[s] found at "), std::string::npos) << log;
  EXPECT_NE(log.find("Found at " + server + "/live.mp3\n"), std::string::npos) << log;

  schedule::Profile saved;
  ASSERT_TRUE(schedule::LoadProfile(saved, folder.path()));
  ASSERT_EQ(saved.schedule.count(), 1u) << "the monitor-made entry was temporary";
  EXPECT_TRUE(saved.knownMountpoints.empty());
}

}  // namespace
}  // namespace larkspan::monitor
