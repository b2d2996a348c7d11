// Saving never loses the profile: failures leave the old file as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "schedule/control_text.h"
#include "schedule/profile.h"
#include "tests/schedule/profile_bytes.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::schedule {
namespace {

// A profile of `entries` entries: about 4.9 kB of file each.
void Fill(Profile& profile, int entries) {
  ScheduleEntry entry;
  entry.jobSlot = kJobSlotIdle;
  CopyControlText(entry.programName, "Morning Show");
  for (int i = 0; i < entries; ++i) profile.schedule.appendEntry(entry, MonitorOptions{});
}

std::size_t FilesIn(const std::filesystem::path& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                std::filesystem::directory_iterator()));
}

TEST(ProfileSave, ReplacesTheFileAndKeepsItsPermissions) {
  larkspan::test::TemporaryFolder folder;
  test::WriteFile(test::ProfileIn(folder.path()), "old");
  ::chmod(test::ProfileIn(folder.path()).c_str(), 0640);
  Profile profile;
  EXPECT_TRUE(SaveProfile(profile, folder.path()));
  EXPECT_EQ(std::filesystem::file_size(test::ProfileIn(folder.path())), 2352u);
  struct stat status {};
  ::stat(test::ProfileIn(folder.path()).c_str(), &status);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(FilesIn(folder.path()), 1u);
}

TEST(ProfileSave, FailureLeavesTheOldFileUntouched) {
  larkspan::test::TemporaryFolder folder;
  Profile profile;
  Fill(profile, 100);
  // No folder to write into.
  EXPECT_FALSE(SaveProfile(profile, folder.path() / "missing"));
  // A folder where the file should be: the rename fails at the very end.
  std::filesystem::create_directory(test::ProfileIn(folder.path()));
  EXPECT_FALSE(SaveProfile(profile, folder.path()));
  EXPECT_EQ(FilesIn(folder.path()), 1u);
  std::filesystem::remove(test::ProfileIn(folder.path()));

  // A full disk, made by a file size limit in a child process: the write of the
  // new profile fails half way.
  const std::string old(5000, 'o');
  test::WriteFile(test::ProfileIn(folder.path()), old);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(SaveProfile(profile, folder.path()) ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save reported success";
  EXPECT_EQ(test::ReadFile(test::ProfileIn(folder.path())), old);
  EXPECT_EQ(FilesIn(folder.path()), 1u);
}

TEST(ProfileSave, WaitsForScheduleLock) {
  larkspan::test::TemporaryFolder folder;
  Profile profile;
  std::atomic<bool> saved = false;
  std::unique_lock lock(profile.scheduleLock);
  std::jthread saver([&] { saved = SaveProfile(profile, folder.path()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(saved);
  EXPECT_FALSE(std::filesystem::exists(test::ProfileIn(folder.path())));
  lock.unlock();
  saver.join();
  EXPECT_TRUE(saved);
}

}  // namespace
}  // namespace larkspan::schedule
