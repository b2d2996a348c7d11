// The profile's bytes against the documented layout.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/text.h"
#include "schedule/control_text.h"
#include "schedule/profile.h"
#include "tests/schedule/profile_bytes.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::schedule {
namespace {

using test::Bytes;
using test::Le16;
using test::Le32;
using test::Text;

// An entry with a distinct value in every field, and the bytes the layout gives
// for it. Multi-byte values catch byte order and width.
std::pair<ScheduleEntry, Bytes> FullEntry() {
  ScheduleEntry e;
  Bytes b(784, '\0');
  e.startHour = 0x01020304, Le32(b, 0, 0x01020304);
  e.startMinute = -2, Le32(b, 4, -2);
  e.endHour = 0x0A0B0C0D, Le32(b, 8, 0x0A0B0C0D);
  e.endMinute = 59, Le32(b, 12, 59);
  e.days = 0x7F, b[16] = 0x7F;
  e.repeating = 0x55667788, Le32(b, 20, 0x55667788);
  CopyControlText(e.programName, "Morning Show"), Text(b, 24, "Morning Show");
  CopyControlText(e.url, "http://127.0.0.1:8000/stream"),
      Text(b, 280, "http://127.0.0.1:8000/stream");
  e.jobSlot = 65535, Le32(b, 536, 65535);
  e.recordingThread = std::make_shared<platform::SmallStackThread>();  // stored as zero
  e.running = 1, Le32(b, 552, 1);
  e.shoutcast = 0x01000001, Le32(b, 556, 0x01000001);
  e.startedDay = 0x40, b[560] = 0x40;
  e.convert = 0x02000000, Le32(b, 564, 0x02000000);
  e.deleteOriginal = 0x300, Le32(b, 568, 0x300);
  e.bitrate = -2, Le16(b, 572, -2);
  e.keep = 1, b[574] = 1;
  e.monitorMountpoint = 1, b[575] = 1;
  e.ignoreTimes[0] = {1, 0x01, 22, 0, 23, 30};
  e.ignoreTimes[2] = {1, 0x40, -1, 59, 6, 7};
  for (const auto& [column, row0, row2] : {std::tuple{576, 1, 1},
                                           {579, 0x01, 0x40},
                                           {582, 22, 0xFF},
                                           {585, 0, 59},
                                           {588, 23, 6},
                                           {591, 30, 7}}) {
    b[column] = static_cast<char>(row0), b[column + 2] = static_cast<char>(row2);
  }
  e.monitorServer = 1, b[594] = 1;
  e.monitorLevel = 5, b[595] = 5;
  e.recordUntilDisconnect = 1, b[596] = 1;
  e.autoCreated = 1, b[597] = 1;
  e.nameKey = -12345, Le32(b, 600, -12345);
  e.shortIgnoreFlags[0] = 1, b[604] = 1;
  e.shortIgnoreFlags[5] = 1, b[609] = 1;
  CopyControlText(e.shortIgnoreNames[0], "/first"), Text(b, 610, "/first");
  CopyControlText(e.shortIgnoreNames[5], "/sixth-slot-name"), Text(b, 690, "/sixth-slot-nam");
  e.deleteWhenDone = 1, b[722] = 1;
  e.timeout = 0x0102, Le16(b, 724, 0x0102);
  e.doneToday = 1, b[726] = 1;
  e.endCount = 51, b[728] = 51;
  return {std::move(e), b};
}

std::pair<MonitorOptions, Bytes> FullOptions() {
  MonitorOptions o;
  Bytes b(4120, '\0');
  o.shortIgnoreFlags7To12[5] = 1, b[5] = 1;
  CopyControlText(o.shortIgnoreNames7To12[5], "/s12"), Text(b, 6 + 5 * 16, "/s12");
  o.shortIgnoreFlags13To24[0] = 1, b[102] = 1;
  o.shortIgnoreFlags13To24[11] = 1, b[113] = 1;
  CopyControlText(o.shortIgnoreNames13To24[11], "/s24"), Text(b, 114 + 11 * 16, "/s24");
  o.longIgnoreFlags[23] = 1, b[306 + 23] = 1;
  CopyControlText(o.longIgnoreNames[0], "/a-long-name-of-twenty"),
      Text(b, 330, "/a-long-name-of-twenty");
  CopyControlText(o.longIgnoreNames[23], "/last-long-name-of-all"),
      Text(b, 330 + 23 * 32, "/last-long-name-of-all");
  CopyControlText(o.ignoredExtensions[0], "mp3"), Text(b, 1098, "mp3");
  CopyControlText(o.ignoredExtensions[5], "flacs"), Text(b, 1098 + 25, "flac");
  return {o, b};
}

TEST(ProfileLayout, EmptyProfileIsTheDefaultsIn2352Bytes) {
  larkspan::test::TemporaryFolder folder;
  Profile profile;
  profile.settings = DefaultProfileSettings("/home/tester");
  ASSERT_TRUE(SaveProfile(profile, folder.path()));
  const Bytes golden =
      test::DefaultHead("/home/tester/", 0) + test::SectionHead(0) + test::SectionHead(0);
  const Bytes file = test::ReadFile(test::ProfileIn(folder.path()));
  EXPECT_EQ(file.size(), 2352u);
  EXPECT_EQ(test::FirstDifference(file, golden), -1);
  EXPECT_EQ(std::string(DefaultProfileSettings("/").recordingPath), "/");
}

TEST(ProfileLayout, EveryFieldLandsAtItsOffset) {
  larkspan::test::TemporaryFolder folder;
  Profile profile;
  auto [entry, entryBytes] = FullEntry();
  auto [options, optionsBytes] = FullOptions();
  profile.schedule.appendEntry(ScheduleEntry{}, MonitorOptions{});
  profile.schedule.appendEntry(entry, options);

  ProfileSettings& s = profile.settings;
  Bytes head = test::DefaultHead("", 2);
  CopyControlText(s.streamUrl, "http://radio/live"), Text(head, 0, "http://radio/live");
  CopyControlText(s.outputFile, "out.mp3"), Text(head, 256, std::string("out.mp3\0\0\0", 10));
  s.shoutcast = 0x01020304, Le32(head, 1540, 0x01020304);
  s.legacyWord = 0xBEEF, Le16(head, 1800, 0xBEEF);
  s.legacyByte = 0x99, head[1817] = static_cast<char>(0x99);
  s.startSound = 1, head[1818] = 1;
  s.noSubdirectories = 1, head[2075] = 1;
  s.disableSounds = 0, head[2076] = 0;
  s.ircAutoPost = 1, head[2165] = 1;
  s.chatterMode = 1, head[2166] = 1;
  s.ircTextColour = 12, head[2167] = 12;
  s.ircBackgroundColour = 7, head[2168] = 7;
  s.ircUpdateTopic = 1, head[2169] = 1;

  KnownMountpoint known;
  CopyControlText(known.url, "http://127.0.0.1:8000/found"), known.ownerKey = -7;
  profile.knownMountpoints = {known, KnownMountpoint{}};
  Bytes knownBytes(1024, '\0');
  Text(knownBytes, 0, "http://127.0.0.1:8000/found"), Le32(knownBytes, 256, -7);

  ASSERT_TRUE(SaveProfile(profile, folder.path()));
  Bytes emptyEntry(784, '\0');
  Le32(emptyEntry, 536, -2);  // the empty slot went in as it was: Free
  const Bytes golden = head + emptyEntry + entryBytes + test::SectionHead(2) + knownBytes +
                       test::SectionHead(2) + Bytes(4120, '\0') + optionsBytes;
  EXPECT_EQ(test::FirstDifference(test::ReadFile(test::ProfileIn(folder.path())), golden), -1);
}

TEST(ProfileLayout, LoadThenSaveWritesBackWhatWasReadAndZeroesTheRest) {
  larkspan::test::TemporaryFolder folder;
  Bytes entry = FullEntry().second;
  Le32(entry, 536, -1), entry[574] = 1, entry[726] = 0, Le32(entry, 552, 0);  // as loaded
  Bytes head = test::DefaultHead("/srv/rec/", 1);
  Le16(head, 1800, 0x1234), head[1817] = 0x42;  // read by nothing, written back
  const Bytes clean =
      head + entry + test::SectionHead(0) + test::SectionHead(1) + FullOptions().second;

  Bytes dirty = clean;  // padding, unused, reserved and pointer slots filled
  for (std::size_t at : {1802u, 1816u, 2170u, 2311u, 2312u, 2319u}) dirty[at] = '\x5A';
  for (std::size_t at : {17u, 540u, 544u, 551u, 561u, 598u, 706u, 721u, 723u, 727u, 729u, 783u}) {
    dirty[2320 + at] = '\x5A';
  }
  dirty[2320 + 784 + 4] = dirty[2320 + 784 + 15] = '\x5A';  // section head padding and pointer
  dirty[dirty.size() - 1] = dirty[dirty.size() - 2992] = '\x5A';  // unused tail of the options

  for (const Bytes& input : {clean, dirty}) {
    test::WriteFile(test::ProfileIn(folder.path()), input);
    Profile profile;
    ASSERT_TRUE(LoadProfile(profile, folder.path()));
    ASSERT_TRUE(SaveProfile(profile, folder.path()));
    EXPECT_EQ(test::FirstDifference(test::ReadFile(test::ProfileIn(folder.path())), clean), -1);
  }
}

TEST(ProfileLayout, TextsAreCutToTheirLimits) {
  const std::string longText(3000, 'x');
  ProfileSettings s;
  ScheduleEntry e;
  CopyControlText(e.programName, longText);
  CopyControlText(e.url, longText);
  CopyControlText(s.recordingPath, longText);
  CopyControlText(s.ircServer, longText);
  CopyControlText(s.ircNickname, longText);
  CopyControlText(s.ircChannel, longText);
  EXPECT_EQ(platform::FieldText(e.programName).size(), 254u);
  EXPECT_EQ(platform::FieldText(e.url).size(), 254u);
  EXPECT_EQ(platform::FieldText(s.recordingPath).size(), 1023u);
  EXPECT_EQ(platform::FieldText(s.ircServer).size(), 31u);
  EXPECT_EQ(platform::FieldText(s.ircNickname).size(), 15u);
  EXPECT_EQ(platform::FieldText(s.ircChannel).size(), 23u);

  // Never inside a character: "a" and 200 two-byte letters keep 126 letters.
  std::string accented = "a";
  for (int i = 0; i < 200; ++i) accented += "\xC3\xA9";
  CopyControlText(e.programName, accented);
  EXPECT_EQ(platform::FieldText(e.programName), accented.substr(0, 253));
}

}  // namespace
}  // namespace larkspan::schedule
