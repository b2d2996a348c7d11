// Loading: the capacity, the runtime fields, and every way a file can be cut,
// damaged or made up (random bytes are the fuzzer's part).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/text.h"
#include "schedule/profile.h"
#include "tests/schedule/profile_bytes.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::schedule {
namespace {

using test::Bytes;
using test::MakeProfile;
using test::ProfileShape;

constexpr std::int64_t kMaxInt32 = std::numeric_limits<std::int32_t>::max();

std::string Name(const ScheduleTable& table, std::size_t slot) {
  return std::string(platform::FieldText(table.entry(slot).programName));
}
std::string Extension(const ScheduleTable& table, std::size_t slot) {
  return std::string(platform::FieldText(table.options(slot).ignoredExtensions[0]));
}

struct Loaded {
  Profile profile;
  bool found = false;
};

std::unique_ptr<Loaded> Load(const Bytes& file) {
  larkspan::test::TemporaryFolder folder;
  test::WriteFile(test::ProfileIn(folder.path()), file);
  auto loaded = std::make_unique<Loaded>();
  loaded->found = LoadProfile(loaded->profile, folder.path());
  return loaded;
}

TEST(ProfileLoad, MissingFileKeepsTheDefaultsWithAnEmptySchedule) {
  larkspan::test::TemporaryFolder folder;
  Profile profile;
  profile.settings = DefaultProfileSettings("/home/tester");
  profile.schedule.appendEntry(ScheduleEntry{}, MonitorOptions{});
  profile.knownMountpoints.resize(3);
  EXPECT_FALSE(LoadProfile(profile, folder.path()));
  EXPECT_EQ(std::string(profile.settings.recordingPath), "/home/tester/");
  EXPECT_EQ(profile.schedule.count(), 0u);
  EXPECT_EQ(profile.schedule.capacity(), 1024u);
  EXPECT_TRUE(profile.knownMountpoints.empty());
  EXPECT_TRUE(profile.readFailure.empty());
}

// A profile that is there but cannot be read is told from a missing one and
// never saved over. Tests run as root, who reads any file whatever its mode: a
// folder of that name fails to read, and so does a link to this process's
// memory, whose first page is never mapped.
TEST(ProfileLoad, AnUnreadableFileIsNeverSavedOver) {
  namespace fs = std::filesystem;
  for (const auto& [make, reason] :
       {std::pair<void (*)(const fs::path&), std::string>{
            [](const fs::path& p) { fs::create_directory(p); }, "Is a directory"},
        {[](const fs::path& p) { fs::create_symlink("/proc/self/mem", p); },
         "Input/output error"}}) {
    larkspan::test::TemporaryFolder folder;
    const fs::path file = test::ProfileIn(folder.path());
    make(file);
    const fs::file_type kind = fs::symlink_status(file).type();
    Profile profile;
    profile.settings = DefaultProfileSettings("/home/tester");
    EXPECT_FALSE(LoadProfile(profile, folder.path()));
    EXPECT_EQ(profile.readFailure, reason);
    EXPECT_EQ(std::string(profile.settings.recordingPath), "/home/tester/") << reason;
    EXPECT_EQ(profile.schedule.count(), 0u);
    EXPECT_FALSE(SaveProfile(profile, folder.path()));
    EXPECT_EQ(fs::symlink_status(file).type(), kind) << reason << ": saved over";

    // Once the file is gone there is nothing to lose.
    fs::remove(file);
    EXPECT_FALSE(LoadProfile(profile, folder.path()));
    EXPECT_TRUE(profile.readFailure.empty());
    EXPECT_TRUE(SaveProfile(profile, folder.path()));
  }
}

TEST(ProfileLoad, CapacityDoublesFromTheStoredCount) {
  for (const auto& [entries, capacity] :
       {std::pair{0, 1024u}, {1024, 1024u}, {1025, 2048u}, {3000, 4096u}}) {
    const auto loaded = Load(MakeProfile({.entries = entries}));
    EXPECT_EQ(loaded->profile.schedule.capacity(), capacity) << entries;
    EXPECT_EQ(loaded->profile.schedule.count(), static_cast<std::size_t>(entries));
  }
}

TEST(ProfileLoad, EntriesComeBackIdleKeptAndNotDoneToday) {
  Bytes file = MakeProfile({.entries = 2});
  test::Le32(file, 2320 + 552, 1);           // running
  test::Le32(file, 2320 + 544, 0x12345678);  // a thread reference of another run
  file[2320 + 728] = 9;                      // endCount stays
  const auto loaded = Load(file);
  ASSERT_TRUE(loaded->found);
  const ScheduleTable& table = loaded->profile.schedule;
  for (std::size_t i = 0; i < 2; ++i) {
    const ScheduleEntry& e = table.entry(i);
    EXPECT_EQ(e.jobSlot, kJobSlotIdle);
    EXPECT_EQ(e.keep, 1);
    EXPECT_EQ(e.doneToday, 0);
    EXPECT_EQ(e.running, 0);
    EXPECT_EQ(e.recordingThread, nullptr);
    EXPECT_EQ(Name(table, i), "entry " + std::to_string(i));
    EXPECT_EQ(Extension(table, i), "x" + std::to_string(i));
  }
  EXPECT_EQ(table.entry(0).endCount, 9);
  EXPECT_EQ(table.count(), 2u);
}

// A file of 2 entries, 2 known mountpoints and 2 options records, cut at every
// section boundary and inside every section.
TEST(ProfileLoad, TruncatedFileUsesWhatIsWhole) {
  const Bytes whole = MakeProfile({.entries = 2, .known = 2});
  const std::size_t entries = 2320, known = entries + 2 * 784, options = known + 16 + 2 * 512;
  struct Cut {
    std::size_t size;
    std::size_t count, known, options;
  };
  for (const Cut cut : {Cut{0, 0, 0, 0},
                        {1000, 0, 0, 0},
                        {entries, 0, 0, 0},
                        {entries + 784, 1, 0, 0},
                        {entries + 1000, 1, 0, 0},
                        {known, 2, 0, 0},
                        {known + 8, 2, 0, 0},
                        {known + 16, 2, 0, 0},
                        {known + 16 + 512, 2, 1, 0},
                        {options, 2, 2, 0},
                        {options + 8, 2, 2, 0},
                        {options + 16, 2, 2, 0},
                        {options + 16 + 4120, 2, 2, 1},
                        {options + 16 + 8000, 2, 2, 1},
                        {whole.size(), 2, 2, 2}}) {
    const auto loaded = Load(whole.substr(0, cut.size));
    const Profile& p = loaded->profile;
    EXPECT_TRUE(loaded->found);
    EXPECT_EQ(p.schedule.count(), cut.count) << cut.size;
    EXPECT_EQ(p.schedule.capacity(), 1024u);
    EXPECT_EQ(p.knownMountpoints.size(), cut.known) << cut.size;
    for (std::size_t i = 0; i < cut.count; ++i) {
      EXPECT_EQ(Extension(p.schedule, i), i < cut.options ? "x" + std::to_string(i) : "")
          << cut.size;
    }
    // A head cut short leaves the defaults.
    EXPECT_EQ(std::string(p.settings.ircChannel), "#sample");
  }
}

TEST(ProfileLoad, OptionsRecordsFollowTheEntryCount) {
  // More records than entries: the rest is ignored.
  auto loaded = Load(MakeProfile({.entries = 2, .options = 4}));
  EXPECT_EQ(Extension(loaded->profile.schedule, 1), "x1");
  EXPECT_EQ(loaded->profile.schedule.count(), 2u);
  // Fewer stored than entries: the others get empty records.
  loaded = Load(MakeProfile({.entries = 3, .optionsCount = 1}));
  EXPECT_EQ(Extension(loaded->profile.schedule, 0), "x0");
  EXPECT_EQ(Extension(loaded->profile.schedule, 1), "");
}

TEST(ProfileLoad, HostileCountsAllocateOnlyWhatTheFileHolds) {
  // The largest count there is: whatever follows the head is read as entries,
  // as far as it makes whole records.
  const Bytes file = MakeProfile({.entries = 2, .entryCount = kMaxInt32});
  auto loaded = Load(file);
  EXPECT_EQ(loaded->profile.schedule.count(), (file.size() - 2320) / 784);
  EXPECT_EQ(loaded->profile.schedule.capacity(), 1024u);
  loaded = Load(MakeProfile({.entries = 0, .entryCount = -5}));
  EXPECT_EQ(loaded->profile.schedule.count(), 0u);

  loaded = Load(MakeProfile({.entries = 1, .known = 1, .knownCount = kMaxInt32}));
  EXPECT_EQ(loaded->profile.knownMountpoints.size(), (512u + 16 + 4120) / 512);
  loaded = Load(MakeProfile({.entries = 1, .known = 0, .knownCount = -1}));
  EXPECT_TRUE(loaded->profile.knownMountpoints.empty());
  EXPECT_EQ(Extension(loaded->profile.schedule, 0), "x0");
  loaded = Load(MakeProfile({.entries = 1, .optionsCount = -1}));
  EXPECT_EQ(Extension(loaded->profile.schedule, 0), "");

  // Known mountpoints beyond the table's capacity are all read, and the options
  // after them still line up.
  loaded = Load(MakeProfile({.entries = 1, .known = 1500}));
  EXPECT_EQ(loaded->profile.knownMountpoints.size(), 1500u);
  EXPECT_EQ(loaded->profile.knownMountpoints[1499].ownerKey, 2499);
  EXPECT_EQ(Extension(loaded->profile.schedule, 0), "x0");
}

TEST(ProfileLoad, TextsWithoutTheirEndStayInsideTheirFields) {
  Bytes file = MakeProfile({.entries = 1, .known = 1});
  file.replace(0, 2320, 2320, 'A');  // every byte of the head, the count too
  test::Le32(file, 1536, 1);
  file.replace(2320 + 24, 512, 512, 'B');        // programName and url
  file.replace(2320 + 784 + 16, 256, 256, 'C');  // the known URL
  const auto loaded = Load(file);
  const Profile& p = loaded->profile;
  EXPECT_EQ(platform::FieldText(p.settings.streamUrl).size(), 255u);
  EXPECT_EQ(platform::FieldText(p.settings.ircUserId).size(), 15u);
  EXPECT_EQ(platform::FieldText(p.schedule.entry(0).url).size(), 255u);
  EXPECT_EQ(platform::FieldText(p.knownMountpoints[0].url).size(), 255u);
}

}  // namespace
}  // namespace larkspan::schedule
