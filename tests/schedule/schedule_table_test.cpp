// The table's operations: removal with its skip-next walk, reuse of removed
// slots, growth, and the identifier of a name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "schedule/control_text.h"
#include "schedule/name_key.h"
#include "schedule/profile.h"
#include "tests/support/recording_prompter.h"

namespace larkspan::schedule {
namespace {

// An Idle entry named `name` whose options record carries the same name as its
// first ignored extension, so that tests see whether both moved together.
std::pair<ScheduleEntry, MonitorOptions> Named(const std::string& name) {
  std::pair<ScheduleEntry, MonitorOptions> slot;
  CopyControlText(slot.first.programName, name);
  slot.first.jobSlot = kJobSlotIdle;
  CopyControlText(slot.second.ignoredExtensions[0], name);
  return slot;
}

void Append(ScheduleTable& table, const std::string& name) {
  const auto [entry, options] = Named(name);
  table.appendEntry(entry, options);
}

// The table's entries below the count as "name/extension" (name alone when both agree).
std::vector<std::string> Contents(const ScheduleTable& table) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < table.count(); ++i) {
    std::string name(platform::FieldText(table.entry(i).programName));
    const std::string extension(platform::FieldText(table.options(i).ignoredExtensions[0]));
    out.push_back(name == extension ? name : name + "/" + extension);
  }
  return out;
}

using Names = std::vector<std::string>;

TEST(RemoveFreeEntries, RemovesOneOfTwoNeighboursPerCall) {
  ScheduleTable table;
  for (const char* name : {"a", "b", "c", "d", "e"}) Append(table, name);
  table.entry(2).jobSlot = kJobSlotFree;
  table.entry(3).jobSlot = kJobSlotFree;
  RemoveFreeEntries(table);
  EXPECT_EQ(Contents(table), (Names{"a", "b", "d", "e"}));
  EXPECT_EQ(table.entry(2).jobSlot, kJobSlotFree);
  RemoveFreeEntries(table);
  EXPECT_EQ(Contents(table), (Names{"a", "b", "e"}));

  // Three in a row at the start: the first and third go, the second waits.
  for (const char* name : {"x", "y"}) Append(table, name);
  for (std::size_t i : {0, 1, 2}) table.entry(i).jobSlot = kJobSlotFree;
  RemoveFreeEntries(table);
  EXPECT_EQ(Contents(table), (Names{"b", "x", "y"}));
}

TEST(ScheduleTableAdd, ReusesARemovedSlotBelowTheCount) {
  ScheduleTable table;
  for (const char* name : {"a", "b", "c"}) Append(table, name);
  table.entry(1).jobSlot = kJobSlotFree;
  const auto [entry, options] = Named("new");
  EXPECT_EQ(table.addEntry(entry, options), 1u);
  EXPECT_EQ(Contents(table), (Names{"a", "new", "c"}));
  EXPECT_EQ(table.addEntry(entry, options), 3u);
  EXPECT_EQ(table.count(), 4u);
}

TEST(ScheduleTableAdd, GrowthKeepsEveryEntryWithItsOptions) {
  ScheduleTable table;
  for (int i = 0; i < 1024; ++i) {
    const auto [entry, options] = Named(std::to_string(i));
    ASSERT_EQ(table.addEntry(entry, options), static_cast<std::size_t>(i));
  }
  EXPECT_EQ(table.capacity(), 1024u);
  const auto [entry, options] = Named("1024");
  EXPECT_EQ(table.addEntry(entry, options), 1024u);
  EXPECT_EQ(table.capacity(), 2048u);
  const Names contents = Contents(table);
  ASSERT_EQ(contents.size(), 1025u);
  for (int i = 0; i <= 1024; ++i) EXPECT_EQ(contents[i], std::to_string(i));

  // The monitor's append grows the same way.
  for (int i = 1025; i < 2049; ++i) Append(table, std::to_string(i));
  EXPECT_EQ(table.capacity(), 4096u);
  EXPECT_EQ(Contents(table)[2048], "2048");
}

TEST(ScheduleTableAdd, FailedGrowthWarnsAndChangesNothing) {
  Profile profile;
  profile.schedule = ScheduleTable(1024);
  for (int i = 0; i < 1024; ++i) Append(profile.schedule, std::to_string(i));
  larkspan::test::RecordingPrompter prompter;
  const auto [entry, options] = Named("one too many");
  EXPECT_EQ(AddScheduleEntry(profile, entry, options, prompter), std::nullopt);
  using Prompter = larkspan::test::RecordingPrompter;
  EXPECT_EQ(prompter.boxes(),
            (std::vector<Prompter::Box>{
                {Prompter::Kind::Warning,
                 "Memory allocation failed.\nCannot add more schedule entries."}}));
  EXPECT_EQ(profile.schedule.count(), 1024u);
  EXPECT_EQ(profile.schedule.capacity(), 1024u);
  EXPECT_EQ(Contents(profile.schedule)[1023], "1023");
}

TEST(NameKey, SumsSignedBytesWithTheRemainderTakingTheSumsSign) {
  EXPECT_EQ(nameKey("abc"), 294);
  EXPECT_EQ(nameKey(""), 0);
  EXPECT_EQ(nameKey("\xC3\xA9"), -61 - 87);  // bytes of 128 and more count negative
  EXPECT_EQ(nameKey(std::string(1000, 'z')), 122000 - 100001);
  EXPECT_EQ(nameKey(std::string(1000, '\x80')), -128000 + 100001);
}

}  // namespace
}  // namespace larkspan::schedule
