// The schedule list's order, text and double-click mapping, and the editor's
// rules, on the profile's table; the deletion of a recording entry with real
// scheduler ticks.

#include "schedule/schedule_editor.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "schedule/name_key.h"
#include "schedule/schedule_listing.h"
#include "tests/schedule/scheduler_fixture.h"

namespace larkspan::schedule {
namespace {

using platform::FieldText;
using Kind = test::RecordingPrompter::Kind;

enum Watch : std::uint8_t { kNone, kMountpoint, kServer };

struct Listed {
  const char* name;
  std::uint8_t days;
  int hour;
  int minute;
  Watch watch = kNone;
  std::uint8_t keep = 1;
};

ScheduleEntry MakeEntry(const Listed& l) {
  ScheduleEntry e;
  platform::CopyToField(e.programName, l.name);
  e.days = l.days;
  e.startHour = l.hour;
  e.startMinute = l.minute;
  e.monitorMountpoint = l.watch == kMountpoint;
  e.monitorServer = l.watch == kServer;
  e.keep = l.keep;
  e.jobSlot = kJobSlotIdle;
  e.nameKey = nameKey(l.name);
  return e;
}

std::vector<std::string> ListedNames(const ScheduleTable& table) {
  std::vector<std::string> names;
  for (std::size_t i : ListingOrder(table))
    names.emplace_back(FieldText(table.entry(i).programName));
  return names;
}

TEST(ScheduleListing, PlacesEachEntryByWalkingFromThePreviousOne) {
  struct Case {
    std::vector<Listed> appended;
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      {{{"Tue 10:00", kTuesday, 10, 0},
        {"temporary", kMonday, 1, 0, kNone, 0},
        {"no day", 0, 1, 0},
        {"Mon 18:00", kMonday, 18, 0},
        {"Mon 09:30", kMonday | kFriday, 9, 30}},
       {"Mon 09:30", "Mon 18:00", "Tue 10:00"}},
      {{{"Mon", kMonday, 10, 0}, {"mountpoint", 0, 0, 0, kMountpoint}, {"Tue", kTuesday, 10, 0}},
       {"Mon", "Tue", "mountpoint"}},
      {{{"server", kThursday, 1, 0, kServer},
        {"Mon 03:01", kMonday, 3, 1},
        {"Thu 02:01", kThursday, 2, 1},
        {"Sun 01:02", kSunday, 1, 2},
        {"mountpoint", 0, 0, 0, kMountpoint},
        {"Fri 01:01", kFriday, 1, 1}},
       {"Sun 01:02", "Mon 03:01", "Fri 01:01", "mountpoint", "server", "Thu 02:01"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    ScheduleTable table;
    for (const Listed& l : c.appended) table.appendEntry(MakeEntry(l), {});
    EXPECT_EQ(ListedNames(table), c.listed);
  }
}

TEST(ScheduleListing, FourLinesPerEntryAndTheLineOfADoubleClick) {
  ScheduleEntry e = MakeEntry({"Talk", kMonday | kWednesday, 14, 5});
  e.endHour = 7;
  e.convert = 1;
  e.bitrate = 64;
  EXPECT_EQ(
      ListingLines(1, e),
      (std::array<std::string, 4>{
          "[1] Program: Talk", "   Start time: 14:05   End time: 07:00",
          "   Day(s): Monday Wednesday  ",
          "   Repeating: NO Shoutcast: NO Convert: YES Bitrate: 64 kbps Delete original: NO"}));
  ScheduleEntry m = MakeEntry({"Live", 0, 0, 0, kMountpoint});
  m.shoutcast = 1;
  m.bitrate = 96;
  EXPECT_EQ(ListingLines(12, m),
            (std::array<std::string, 4>{
                "[12] Program: Live", "   Continuously monitored mountpoint",
                "   Shoutcast: YES Convert: NO Bitrate: 96 kbps Delete original: NO",
                "No additional information"}));

  const std::vector<std::size_t> order = {4, 2, 7};
  EXPECT_EQ(EntryAtLine(order, 6), 2u) << "the third line of the second entry";
  EXPECT_EQ(EntryAtLine(order, 11), 7u);
  EXPECT_EQ(EntryAtLine(order, 12), std::nullopt);
}

class ScheduleEditorTest : public ::testing::Test {
 protected:
  ScheduleEntry& add(const Listed& l) {
    return profile_.schedule.entry(*profile_.schedule.appendEntry(MakeEntry(l), {}));
  }
  std::string currentName() {
    return std::string(FieldText(profile_.schedule.entry(editor_.current()).programName));
  }

  test::TemporaryFolder folder_;
  Profile profile_;
  test::RecordingPrompter prompter_;
  ScheduleEditor editor_{profile_, prompter_, folder_.path()};
};

TEST_F(ScheduleEditorTest, AppendNeedsADayOrAMonitorMarkAndReusesAFreeSlot) {
  add({"first", kMonday, 1, 0});
  add({"removed", kMonday, 2, 0}).jobSlot = kJobSlotFree;
  add({"last", kMonday, 3, 0});
  editor_.open(std::nullopt);  // purges the removed entry
  ASSERT_EQ(profile_.schedule.count(), 2u);
  profile_.schedule.entry(0).jobSlot = kJobSlotFree;  // closed out by a tick meanwhile

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
  const ScheduleEntry& added = profile_.schedule.entry(0);
  EXPECT_EQ(FieldText(added.programName).size(), 254u);
  EXPECT_EQ(added.jobSlot, kJobSlotIdle);
  EXPECT_EQ(added.keep, 1);
  EXPECT_EQ(added.nameKey, nameKey(std::string(254, 'n')));
  EXPECT_EQ(added.bitrate, 96);
  EXPECT_EQ(added.timeout, 30);
}

TEST_F(ScheduleEditorTest, SteppingPassesTemporaryEntriesAndDoesNothingAtTheEnds) {
  add({"A", kMonday, 1, 0});
  add({"temporary", kMonday, 2, 0, kNone, 0});
  add({"B", kMonday, 3, 0});
  add({"temporary too", kMonday, 4, 0, kNone, 0});
  editor_.open(std::nullopt);
  EXPECT_EQ(currentName(), "B");

  editor_.form().programName = "B changed";
  editor_.stepForward();  // onto the last entry, which is not kept: stays
  EXPECT_EQ(currentName(), "B changed") << "stepping stores the form first";
  editor_.form().startHour = 9;
  editor_.stepBack();
  EXPECT_EQ(currentName(), "A");
  EXPECT_EQ(editor_.form().programName, "A");
  EXPECT_EQ(profile_.schedule.entry(2).startHour, 9);
  EXPECT_FALSE(editor_.modified());

  editor_.form().programName = "not stored";
  editor_.stepBack();
  EXPECT_EQ(FieldText(profile_.schedule.entry(0).programName), "A") << "<< on the first entry";
  EXPECT_TRUE(prompter_.boxes().empty());
}

TEST_F(ScheduleEditorTest, DeletingRemovesTheMountpointsAServerEntryFound) {
  add({"music", kMonday, 1, 0});
  add({"server", 0, 0, 0, kServer});
  const std::int32_t server = nameKey("server");
  profile_.knownMountpoints = {{"/a", server}, {"/b", server}, {"/c", nameKey("music")}};
  editor_.open(1);
  editor_.deleteCurrent();
  EXPECT_EQ(prompter_.boxes().back().text, kEntryDeletedMessage);
  ASSERT_EQ(profile_.schedule.count(), 1u);
  ASSERT_EQ(profile_.knownMountpoints.size(), 1u);
  EXPECT_EQ(FieldText(profile_.knownMountpoints[0].url), "/c");
  EXPECT_EQ(editor_.current(), 0u) << "the new last entry";
  EXPECT_EQ(editor_.form().programName, "music");
  editor_.deleteCurrent();
  EXPECT_EQ(profile_.schedule.count(), 0u);
  EXPECT_EQ(editor_.current(), 0u);
}

TEST_F(ScheduleEditorTest, TheRecordingQuestionComesOnlyAfterAChange) {
  add({"before", kMonday, 1, 0});
  ScheduleEntry& recording = add({"recording", kMonday, 2, 0});
  recording.running = 1;
  recording.jobSlot = 0;
  editor_.open(1);
  editor_.editCurrent();
  EXPECT_TRUE(prompter_.questions().empty());

  editor_.form().startMinute = 30;
  editor_.markModified();
  editor_.editCurrent();  // answered No
  EXPECT_EQ(prompter_.questions(), std::vector<std::string>{kChangingRecordingQuestion});
  EXPECT_EQ(profile_.schedule.entry(1).startMinute, 0);

  // A tick under the question removes an entry before this one: the answer
  // still goes to the entry it was asked about.
  prompter_.whileOpen = [this](const std::string& text) {
    if (text == kChangingRecordingQuestion) profile_.schedule.eraseEntry(0);
  };
  prompter_.answerNext(true);
  editor_.editCurrent();
  ASSERT_EQ(profile_.schedule.count(), 1u);
  EXPECT_EQ(profile_.schedule.entry(0).startMinute, 30);
  EXPECT_EQ(profile_.schedule.entry(0).jobSlot, 0) << "the recording goes on";
  EXPECT_EQ(editor_.current(), 0u);
  EXPECT_EQ(prompter_.boxes().back(),
            (test::RecordingPrompter::Box{Kind::Information, kEntryEditedMessage}));
}

TEST_F(SchedulerTest, DeletingARecordingEntryHidesItUntilItsCloseOutRemovesIt) {
  add("Show", 14, 15, kMonday);
  add("Other", 14, 15, kTuesday);
  tickAt(At(7, 13, 59, 55));
  ASSERT_TRUE(waitRecording(entry(0)));

  ScheduleEditor editor(profile_, prompter_, folder_.path());
  editor.open(0);
  editor.deleteCurrent();
  ASSERT_EQ(profile_.schedule.count(), 2u);
  EXPECT_EQ(ListingOrder(profile_.schedule), std::vector<std::size_t>{1});
  EXPECT_EQ(editor.form().programName, "Other");
  EXPECT_EQ(jobOf(entry(0))->status(), "RECORDING");
  EXPECT_FALSE(jobOf(entry(0))->stopRequested);

  tickAt(At(7, 15, 0, 0));
  ASSERT_TRUE(waitFinished(entry(0)));
  tickAt(At(7, 15, 0, 5));
  ASSERT_EQ(profile_.schedule.count(), 1u) << "Monday was its only day";
  EXPECT_EQ(FieldText(entry(0).programName), "Other");
}

}  // namespace
}  // namespace larkspan::schedule
