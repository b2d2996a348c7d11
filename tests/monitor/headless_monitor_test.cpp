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

namespace larkspan::monitor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The biggest recording under `folder`, or an empty path.
fs::path BiggestFile(const fs::path& folder) {
  fs::path biggest;
  std::uintmax_t size = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error) && it->file_size(error) > size) {
      size = it->file_size(error);
      biggest = it->path();
    }
  }
  return biggest;
}

template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::seconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

// The program without windows, on the real clock: a server entry of level 5
// in its profile, a live Icecast with one mountpoint. Within a quarter
// minute the monitor finds the mountpoint and makes an entry, and the
// scheduler tick records it; at SIGTERM the program stops the recording,
// drops the temporary entry and saves the profile.
TEST(HeadlessMonitorTest, LevelFiveRecordsANewMountpointThroughTheProgram) {
  test::IcecastServer icecast({.webRootFiles = {test::WebRootFile::FromFile(
                                   fs::path(LARKSPAN_MONITOR_TEST_DIR) / "status2.xsl")}});
  test::FfmpegSource live(icecast, "/live.mp3", test::SourceFormat::Mp3);
  test::TemporaryFolder folder;
  const std::string server = icecast.url("");
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
  const fs::path recordings = folder.path() / "rec" / "live mp3 mountpoint";
  ASSERT_TRUE(WaitFor(
      [&] {
        std::error_code error;
        const fs::path file = BiggestFile(recordings);
        return !file.empty() && fs::file_size(file, error) > 64'000 &&
               ReadText(folder.path() / "program.out").find("RECORDING - live mp3 mountpoint") !=
                   std::string::npos;
      },
      60s))
      << ReadText(folder.path() / "program.out") << ReadText(folder.path() / "log.txt");
  const int status = program.stop(20s);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const std::string log = ReadText(folder.path() / "log.txt");
  EXPECT_NE(log.find("1 new mountpoint[s] found at "), std::string::npos) << log;
  EXPECT_NE(log.find("Found at " + server + "/live.mp3\n"), std::string::npos) << log;
  EXPECT_TRUE(BiggestFile(recordings).filename().string().starts_with("live mp3 mountpoint "));

  schedule::Profile saved;
  ASSERT_TRUE(schedule::LoadProfile(saved, folder.path()));
  ASSERT_EQ(saved.schedule.count(), 1u) << "the monitor-made entry was temporary";
  EXPECT_EQ(platform::FieldText(saved.schedule.entry(0).url), server);
  EXPECT_TRUE(saved.knownMountpoints.empty());
}

}  // namespace
}  // namespace larkspan::monitor
