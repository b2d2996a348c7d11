// The table's removal with its skip-next walk, its growth, and the identifier
// of a name that stored entries and known mountpoints carry.
#include <gtest/gtest.h>

#include "schedule/control_text.h"
#include "schedule/name_key.h"
#include "schedule/profile.h"
#include "tests/support/recording_prompter.h"

namespace larkspan::schedule {
namespace {

// Appends an Idle entry whose options record carries its name as the first
// ignored extension, so that tests see whether both move together.
void Append(ScheduleTable& table, const std::string& name) {
  ScheduleEntry entry;
  MonitorOptions options;
  CopyControlText(entry.programName, name);
  CopyControlText(options.ignoredExtensions[0], name);
  entry.jobSlot = kJobSlotIdle;
  table.appendEntry(entry, options);
}

// "name/extension" of each entry in the table.
std::string Contents(const ScheduleTable& table) {
  std::string out;
  for (std::size_t i = 0; i < table.count(); ++i) {
    out += std::string(platform::FieldText(table.entry(i).programName)) + "/" +
           std::string(platform::FieldText(table.options(i).ignoredExtensions[0])) + " ";
  }
  return out;
}

TEST(ScheduleTable, RemovingFreeEntriesKeepsTheOneAfterEachRemovalForNextTime) {
  ScheduleTable table;
  for (const char* name : {"a", "b", "c", "d", "e"}) Append(table, name);
  for (std::size_t i : {0, 1, 2, 3}) table.entry(i).jobSlot = i == 1 ? kJobSlotIdle : kJobSlotFree;
  RemoveFreeEntries(table);
  EXPECT_EQ(Contents(table), "b/b d/d e/e ");
  RemoveFreeEntries(table);
  EXPECT_EQ(Contents(table), "b/b e/e ");
}

TEST(ScheduleTable, GrowthDoublesAndAFailedOneWarnsAndChangesNothing) {
  Profile profile;
  profile.schedule = ScheduleTable(2048);
  for (int i = 0; i < 2048; ++i) Append(profile.schedule, std::to_string(i));
  EXPECT_EQ(profile.schedule.capacity(), 2048u);
  larkspan::test::RecordingPrompter prompter;
  EXPECT_EQ(AddScheduleEntry(profile, ScheduleEntry{}, MonitorOptions{}, prompter), std::nullopt);
  EXPECT_EQ(prompter.boxes().at(0).text, kTableGrowthFailedMessage);
  EXPECT_EQ(profile.schedule.count(), 2048u);
  EXPECT_EQ(profile.schedule.capacity(), 2048u);
}

TEST(NameKey, SumsSignedBytesWithTheRemainderTakingTheSumsSign) {
  EXPECT_EQ(nameKey("abc"), 294);
  EXPECT_EQ(nameKey("\xC3\xA9"), -61 - 87);  // bytes of 128 and more count negative
  EXPECT_EQ(nameKey(std::string(1000, 'z')), 122000 - 100001);
  EXPECT_EQ(nameKey(std::string(1000, '\x80')), -128000 + 100001);
}

}  // namespace
}  // namespace larkspan::schedule
