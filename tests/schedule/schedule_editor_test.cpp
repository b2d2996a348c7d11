// The schedule list's order and text, and the editor's rules on the profile's
// table, whose entries ticks may move under any of its boxes.

#include "schedule/schedule_editor.h"

#include <gtest/gtest.h>

#include "schedule/name_key.h"
#include "schedule/schedule_listing.h"
#include "tests/schedule/scheduler_fixture.h"

namespace larkspan::schedule {
namespace {

using platform::FieldText;

// An entry starting at `hour`:`minute` on `days`; `watch` is 'm' for a
// monitored mountpoint, 's' for a monitored server, 't' for a temporary entry.
ScheduleEntry Listed(const char* name, std::uint8_t days, int hour, int minute, char watch = 0) {
  ScheduleEntry e;
  platform::CopyToField(e.programName, name);
  e.days = days, e.startHour = hour, e.startMinute = minute, e.jobSlot = kJobSlotIdle;
  e.monitorMountpoint = watch == 'm', e.monitorServer = watch == 's', e.keep = watch != 't';
  e.nameKey = nameKey(name);
  return e;
}

TEST(ScheduleListing, PlacesEachEntryByWalkingFromThePreviousOneInFourLinesEach) {
  const std::pair<std::vector<ScheduleEntry>, std::vector<std::string>> cases[] = {
      {{Listed("Tue 10:00", kTuesday, 10, 0), Listed("temporary", kMonday, 1, 0, 't'),
        Listed("no day", 0, 1, 0), Listed("Mon 18:00", kMonday, 18, 0),
        Listed("Mon 09:30", kMonday | kFriday, 9, 30)},
       {"Mon 09:30", "Mon 18:00", "Tue 10:00"}},
      {{Listed("server", kThursday, 1, 0, 's'), Listed("Mon 03:01", kMonday, 3, 1),
        Listed("Thu 02:01", kThursday, 2, 1), Listed("Sun 01:02", kSunday, 1, 2),
        Listed("mountpoint", 0, 0, 0, 'm'), Listed("Fri 01:01", kFriday, 1, 1)},
       {"Sun 01:02", "Mon 03:01", "Fri 01:01", "mountpoint", "server", "Thu 02:01"}},
  };
  for (const auto& [appended, listed] : cases) {
    ScheduleTable table;
    for (const ScheduleEntry& e : appended) table.appendEntry(e, {});
    std::vector<std::string> names;
    for (std::size_t i : ListingOrder(table))
      names.emplace_back(FieldText(table.entry(i).programName));
    EXPECT_EQ(names, listed);
  }

  ScheduleEntry e = Listed("Talk", kMonday | kWednesday, 14, 5);
  e.endHour = 7, e.convert = 1, e.bitrate = 64;
  EXPECT_EQ(
      ListingLines(1, e),
      (std::array<std::string, 4>{
          "[1] Program: Talk", "   Start time: 14:05   End time: 07:00",
          "   Day(s): Monday Wednesday  ",
          "   Repeating: NO Shoutcast: NO Convert: YES Bitrate: 64 kbps Delete original: NO"}));
  e = Listed("Live", 0, 0, 0, 'm');
  e.shoutcast = 1, e.bitrate = 96;
  EXPECT_EQ(ListingLines(12, e),
            (std::array<std::string, 4>{
                "[12] Program: Live", "   Continuously monitored mountpoint",
                "   Shoutcast: YES Convert: NO Bitrate: 96 kbps Delete original: NO",
                "No additional information"}));
  EXPECT_EQ(EntryAtLine({4, 2, 7}, 6), 2u) << "the third line of the second entry";
  EXPECT_EQ(EntryAtLine({4, 2, 7}, 12), std::nullopt);
}

class ScheduleEditorTest : public SchedulerTest {
 protected:
  using SchedulerTest::add;
  ScheduleEntry& add(const ScheduleEntry& e) {
    return entry(*profile_.schedule.appendEntry(e, {}));
  }
  std::string name(std::size_t u) { return std::string(FieldText(entry(u).programName)); }

  ScheduleEditor editor_{profile_, prompter_, folder_.path()};
};

TEST_F(ScheduleEditorTest, AppendNeedsADayOrAMonitorMarkAndReusesAFreeSlot) {
  add(Listed("first", kMonday, 1, 0));
  add(Listed("removed", kMonday, 2, 0)).jobSlot = kJobSlotFree;
  add(Listed("last", kMonday, 3, 0));
  editor_.open(std::nullopt);  // purges the removed entry
  ASSERT_EQ(profile_.schedule.count(), 2u);
  entry(0).jobSlot = kJobSlotFree;  // closed out by a tick meanwhile

  editor_.form() = ScheduleForm{};
  editor_.append();
  EXPECT_EQ(prompter_.boxes().back().text, kNoDayMessage);
  EXPECT_FALSE(editor_.takeChange());

  editor_.form().monitorServer = true;
  editor_.form().programName = std::string(300, 'n');
  editor_.append();
  EXPECT_EQ(prompter_.boxes().back().text, kEntryAddedMessage);
  EXPECT_TRUE(editor_.takeChange());
  ASSERT_EQ(profile_.schedule.count(), 2u);
  EXPECT_EQ(editor_.current(), 0u);
  const ScheduleEntry& added = entry(0);
  EXPECT_EQ(name(0), std::string(254, 'n'));
  EXPECT_EQ(added.jobSlot, kJobSlotIdle);
  EXPECT_EQ(added.keep, 1);
  EXPECT_EQ(added.nameKey, nameKey(std::string(254, 'n')));
}

TEST_F(ScheduleEditorTest, SteppingStoresTheFormAndPassesTemporaryEntries) {
  add(Listed("A", kMonday, 1, 0));
  add(Listed("temporary", kMonday, 2, 0, 't'));
  add(Listed("B", kMonday, 3, 0));
  add(Listed("temporary too", kMonday, 4, 0, 't'));
  editor_.open(std::nullopt);
  EXPECT_EQ(name(editor_.current()), "B");
  editor_.form().programName = "B changed";
  editor_.stepForward();  // onto the last entry, which is not kept: stays
  EXPECT_EQ(name(editor_.current()), "B changed") << "stepping stores the form first";
  editor_.stepBack();
  EXPECT_EQ(editor_.form().programName, "A");
  editor_.form().programName = "not stored";
  editor_.stepBack();
  EXPECT_EQ(name(0), "A") << "<< on the first entry";
}

TEST_F(ScheduleEditorTest, DeletingAServerEntryRemovesTheMountpointsItFound) {
  add(Listed("music", kMonday, 1, 0));
  add(Listed("server", 0, 0, 0, 's'));
  profile_.knownMountpoints = {{"/a", nameKey("server")}, {"/b", nameKey("server")}, {"/c", 0}};
  editor_.open(1);
  editor_.deleteCurrent();
  EXPECT_EQ(prompter_.boxes().back().text, kEntryDeletedMessage);
  ASSERT_EQ(profile_.knownMountpoints.size(), 1u);
  EXPECT_EQ(FieldText(profile_.knownMountpoints[0].url), "/c");
  EXPECT_EQ(editor_.form().programName, "music") << "the new last entry";
  editor_.deleteCurrent();
  EXPECT_EQ(profile_.schedule.count(), 0u);
}

TEST_F(ScheduleEditorTest, TheRecordingQuestionComesOnlyAfterAChange) {
  add(Listed("before", kMonday, 1, 0));
  ScheduleEntry& recording = add(Listed("recording", kMonday, 2, 0));
  recording.running = 1;
  recording.jobSlot = 0;
  editor_.open(1);
  editor_.editCurrent();
  EXPECT_TRUE(prompter_.questions().empty());

  editor_.form().startMinute = 30;
  editor_.markModified();
  editor_.editCurrent();  // answered No
  EXPECT_EQ(prompter_.questions(), std::vector<std::string>{kChangingRecordingQuestion});
  EXPECT_EQ(entry(1).startMinute, 0);

  // A tick under the question removes an entry before this one: the answer
  // still goes to the entry it was asked about.
  prompter_.whileOpen = [this](const std::string& text) {
    if (text == kChangingRecordingQuestion) profile_.schedule.eraseEntry(0);
  };
  prompter_.answerNext(true);
  editor_.editCurrent();
  ASSERT_EQ(profile_.schedule.count(), 1u);
  EXPECT_EQ(entry(0).startMinute, 30);
  EXPECT_EQ(entry(0).jobSlot, 0) << "the recording goes on";
  EXPECT_EQ(prompter_.boxes().back().text, kEntryEditedMessage);
}

TEST_F(ScheduleEditorTest, DeletingARecordingEntryHidesItUntilItsCloseOutRemovesIt) {
  add("Show", 14, 15, kMonday);
  add("Other", 14, 15, kTuesday);
  tickAt(At(7, 13, 59, 55));
  ASSERT_TRUE(waitRecording(entry(0)));
  editor_.open(0);
  editor_.deleteCurrent();
  EXPECT_EQ(ListingOrder(profile_.schedule), std::vector<std::size_t>{1});
  EXPECT_EQ(editor_.form().programName, "Other");
  EXPECT_FALSE(jobOf(entry(0))->stopRequested);

  tickAt(At(7, 15, 0));
  ASSERT_TRUE(waitFinished(entry(0)));
  tickAt(At(7, 15, 0, 5));
  ASSERT_EQ(profile_.schedule.count(), 1u) << "Monday was its only day";
  EXPECT_EQ(FieldText(entry(0).programName), "Other");
}

}  // namespace
}  // namespace larkspan::schedule
