// The profile file: the bytes stored profiles are made of, what a load takes
// from a file however it was cut or miscounted, and saves that never lose it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <thread>
#include <tuple>

#include "platform/text.h"
#include "schedule/control_text.h"
#include "schedule/profile.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::schedule {
namespace {

namespace fs = std::filesystem;
using Bytes = std::string;
using platform::FieldText;

constexpr std::size_t kHead = 2320, kEntry = 784, kCount = 16, kKnown = 512, kOptions = 4120;

void Le32(Bytes& b, std::size_t at, std::int64_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// The value stored at `at`, read as the type of the field it should land in.
template <typename T>
T Stored(const Bytes& b, std::size_t at) {
  T value;
  std::memcpy(&value, &b[at], sizeof value);  // this machine is little-endian too
  return value;
}
#define EXPECT_STORED(field, bytes, at) EXPECT_EQ(field, Stored<decltype(field)>(bytes, at)) << at

// One record of the file: its size, the [from, to) spans its fields are
// stored in (the rest is padding, unused or a pointer slot, written as zero),
// and its texts as offset, width, count, each ended in its last byte by a load.
struct Record {
  std::size_t size;
  std::vector<std::size_t> fields, texts;
};
const Record kHeadRecord{
    kHead, {0, 1802, 1817, 2170}, {0,    256, 2, 512,  1024, 1, 1544, 256, 1, 1819, 256, 1,
                                   2077, 32,  1, 2109, 16,   1, 2125, 24,  1, 2149, 16,  1}};
const Record kEntryRecord{
    kEntry,
    {0, 17, 20, 540, 552, 561, 564, 598, 600, 706, 722, 723, 724, 727, 728, 729},
    {24, 256, 2, 610, 16, 6}};
const Record kCountRecord{kCount, {0, 4}, {}};
const Record kKnownRecord{kKnown, {0, 260}, {0, 256, 1}};
const Record kOptionsRecord{kOptions, {0, 1128}, {6, 16, 6, 114, 16, 12, 330, 32, 24, 1098, 5, 6}};

class ProfileFile : public ::testing::Test {
 protected:
  fs::path file() const { return folder_.path() / "brambly.prf"; }
  Bytes read() const {
    std::ifstream in(file(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void write(const Bytes& bytes) const { std::ofstream(file(), std::ios::binary) << bytes; }
  bool load(const Bytes& bytes) {
    write(bytes);
    loaded_ = std::make_unique<Profile>();
    return LoadProfile(*loaded_, folder_.path());
  }

  // What the writer makes of `entries` entries, each with the extension "x"
  // among its options, and `known` known mountpoints.
  Bytes written(int entries, int known) {
    Profile profile;
    CopyControlText(profile.settings.ircChannel, "#file");
    MonitorOptions options;
    CopyControlText(options.ignoredExtensions[0], "x");
    for (int i = 0; i < entries; ++i) profile.schedule.appendEntry(ScheduleEntry{}, options);
    profile.knownMountpoints.resize(known);
    EXPECT_TRUE(SaveProfile(profile, folder_.path()));
    return read();
  }

  larkspan::test::TemporaryFolder folder_;
  std::unique_ptr<Profile> loaded_;
};

// A file of one record each, every byte of it a non-zero pattern.
TEST_F(ProfileFile, ALoadThenSaveWritesBackEveryStoredByteAndZeroesTheRest) {
  Bytes pattern, expected;
  for (const Record* r : {&kHeadRecord, &kEntryRecord, &kCountRecord, &kKnownRecord, &kCountRecord,
                          &kOptionsRecord}) {
    const std::size_t at = pattern.size();
    for (std::size_t i = at; i < at + r->size; ++i) pattern += static_cast<char>(1 + i * 7 % 251);
    expected.resize(pattern.size());
    for (std::size_t i = 0; i < r->fields.size(); i += 2)
      std::copy(&pattern[at + r->fields[i]], &pattern[at + r->fields[i + 1]],
                &expected[at + r->fields[i]]);
    for (std::size_t i = 0; i < r->texts.size(); i += 3)
      for (std::size_t k = 1; k <= r->texts[i + 2]; ++k)
        expected[at + r->texts[i] + k * r->texts[i + 1] - 1] = 0;
  }
  for (const std::size_t at : {std::size_t{1536}, kHead + kEntry, kHead + kEntry + kCount + kKnown})
    Le32(pattern, at, 1), Le32(expected, at, 1);
  // Loaded entries are Idle, not running, kept and not done today.
  Le32(expected, kHead + 536, -1), Le32(expected, kHead + 552, 0);
  expected[kHead + 574] = 1, expected[kHead + 726] = 0;

  ASSERT_TRUE(load(pattern));
  ASSERT_TRUE(SaveProfile(*loaded_, folder_.path()));
  const Bytes saved = read();
  ASSERT_EQ(saved.size(), expected.size());
  EXPECT_EQ(std::mismatch(saved.begin(), saved.end(), expected.begin()).first - saved.begin(),
            static_cast<std::ptrdiff_t>(saved.size()))
      << "first wrong byte";

  // Where fields lie, in byte order and width.
  const ScheduleEntry& e = loaded_->schedule.entry(0);
  const Bytes entry = pattern.substr(kHead, kEntry);
  for (const auto& [field, at] : {std::pair{&e.startHour, 0},
                                  {&e.startMinute, 4},
                                  {&e.endHour, 8},
                                  {&e.endMinute, 12},
                                  {&e.repeating, 20}})
    EXPECT_EQ(*field, Stored<std::int32_t>(entry, at)) << at;
  EXPECT_STORED(e.days, entry, 16);
  EXPECT_EQ(FieldText(e.url), entry.substr(280, 255));
  EXPECT_STORED(e.bitrate, entry, 572);
  EXPECT_EQ(FieldText(loaded_->settings.recordingPath), pattern.substr(512, 1023));
  EXPECT_STORED(loaded_->knownMountpoints.at(0).ownerKey, pattern, kHead + kEntry + kCount + 256);
}

// A file cut anywhere, or with a count that is not what follows it, gives the
// records that are whole, and never more than the file holds.
TEST_F(ProfileFile, TakesTheWholeRecordsOfACutOrMiscountedFile) {
  enum Count { kNone, kEntries, kKnownList, kOptionsList };
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::size_t kKnownAt = kHead + 2 * kEntry, kOptionsAt = kKnownAt + kCount + 2 * kKnown;
  // Entries and known mountpoints written, the size cut to (0: whole), the
  // count patched and its value; entries, known mountpoints and options loaded.
  const std::tuple<int, int, std::size_t, Count, std::int32_t, std::size_t, std::size_t,
                   std::size_t>
      cases[] = {{2, 2, 1000, kNone, 0, 0, 0, 0},
                 {2, 2, kHead + 1000, kNone, 0, 1, 0, 0},
                 {2, 2, kKnownAt + 8, kNone, 0, 2, 0, 0},
                 {2, 2, kOptionsAt + kCount + kOptions, kNone, 0, 2, 2, 1},
                 {2, 0, 0, kEntries, kMax, 12, 0, 0},  // as many as the rest of the file holds
                 {1, 1, 0, kKnownList, kMax, 1, 9, 0},
                 {1, 0, 0, kKnownList, -1, 1, 0, 1},
                 {1, 0, 0, kOptionsList, -1, 1, 0, 0},
                 {1024, 0, 0, kNone, 0, 1024, 0, 1024},
                 {1025, 0, 0, kNone, 0, 1025, 0, 1025}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const auto& [entries, known, size, patched, count, loaded, loadedKnown, options] = c;
    Bytes file = written(entries, known);
    const std::size_t knownAt = kHead + entries * kEntry;
    const std::size_t countAt[] = {0, 1536, knownAt, knownAt + kCount + known * kKnown};
    if (patched != kNone) Le32(file, countAt[patched], count);
    if (size > 0) file.resize(size);
    EXPECT_TRUE(load(file));
    const ScheduleTable& table = loaded_->schedule;
    ASSERT_EQ(table.count(), loaded);
    EXPECT_EQ(table.capacity(), loaded > 1024 ? 2048u : 1024u);
    EXPECT_EQ(loaded_->knownMountpoints.size(), loadedKnown);
    for (std::size_t i = 0; i < loaded; ++i)
      EXPECT_EQ(FieldText(table.options(i).ignoredExtensions[0]), i < options ? "x" : "") << i;
    EXPECT_EQ(FieldText(loaded_->settings.ircChannel), size == 1000 ? "#sample" : "#file");
  }
}

// A profile that is there but cannot be read is never saved over (a missing
// one, nothing to lose, is the headless program's first start). Tests run as
// root, who reads any file whatever its mode: a folder of that name fails to
// read, and so does a link to this process's memory, whose first page is never
// mapped.
TEST_F(ProfileFile, AnUnreadableFileIsNeverSavedOverAndASaveReplacesTheWholeFileOrNothing) {
  for (const std::string reason : {"Is a directory", "Input/output error"}) {
    if (reason.starts_with("Is")) fs::create_directory(file());
    if (reason.starts_with("In")) fs::create_symlink("/proc/self/mem", file());
    const fs::file_type kind = fs::symlink_status(file()).type();
    Profile profile;
    profile.settings = DefaultProfileSettings("/home/tester");
    profile.schedule.appendEntry(ScheduleEntry{}, MonitorOptions{});
    profile.knownMountpoints.resize(3);
    EXPECT_FALSE(LoadProfile(profile, folder_.path()));
    EXPECT_EQ(profile.readFailure, reason);
    EXPECT_EQ(std::string(profile.settings.recordingPath), "/home/tester/") << reason;
    EXPECT_EQ(profile.schedule.count() + profile.knownMountpoints.size(), 0u);
    EXPECT_FALSE(SaveProfile(profile, folder_.path()));
    EXPECT_EQ(fs::symlink_status(file()).type(), kind) << reason << ": saved over";
    fs::remove(file());
  }

  // A save replaces the whole file or nothing.
  write("old");
  ::chmod(file().c_str(), 0640);
  Profile profile;
  std::unique_lock lock(profile.scheduleLock);
  std::jthread saver([&] { EXPECT_TRUE(SaveProfile(profile, folder_.path())); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(read(), "old") << "the save waits for the schedule's lock";
  lock.unlock();
  saver.join();
  EXPECT_EQ(read().size(), 2352u) << "a first start's profile";
  EXPECT_EQ(fs::status(file()).permissions(), fs::perms(0640));

  for (int i = 0; i < 100; ++i) profile.schedule.appendEntry({}, {});
  EXPECT_FALSE(SaveProfile(profile, folder_.path() / "missing"));
  fs::remove(file());
  fs::create_directory(file());  // the rename fails at the very end
  EXPECT_FALSE(SaveProfile(profile, folder_.path()));
  fs::remove(file());
  // A full disk, made by a file size limit in a child process: the write of
  // the new profile (about 490 kB) fails half way.
  write("old");
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(SaveProfile(profile, folder_.path()) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save reported success";
  EXPECT_EQ(read(), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), {}), 1) << "a temporary left";
}

}  // namespace
}  // namespace larkspan::schedule
