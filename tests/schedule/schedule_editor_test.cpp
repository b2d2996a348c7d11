// The schedule list's order, the editor's rules, the stop window's list, and
// the table beneath them. Ticks run under every box these show and may close
// recordings out and move entries meanwhile.

#include "schedule/schedule_editor.h"

#include <gtest/gtest.h>

#include <cstring>

#include "schedule/name_key.h"
#include "schedule/schedule_listing.h"
#include "schedule/stop_list.h"
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
  return e;
}

TEST(ScheduleListing, PlacesEachEntryByWalkingFromThePreviousOneInFourLines) {
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
  ScheduleEntry e = Listed("Talk", kMonday | kWednesday, 9, 5);
  e.endHour = 7, e.convert = 1, e.bitrate = 64;
  EXPECT_EQ(
      ListingLines(1, e),
      (std::array<std::string, 4>{
          "[1] Program: Talk", "   Start time: 09:05   End time: 07:00",
          "   Day(s): Monday Wednesday  ",
          "   Repeating: NO Shoutcast: NO Convert: YES Bitrate: 64 kbps Delete original: NO"}));
}

// A tick may close an entry out while the editor is open: Append takes its
// place. Stepping stores the form and passes temporary entries; deleting a
// server entry removes the mountpoints it found.
TEST_F(SchedulerTest, TheEditorAppendsStepsAndDeletesOnATableTicksChange) {
  for (const char* name : {"A", "removed", "temporary", "B", "temporary too"})
    add(name, 1, 2, kMonday).keep = *name != 't';
  entry(1).jobSlot = kJobSlotFree;
  editor_.open(std::nullopt);  // purges the removed entry
  ASSERT_EQ(profile_.schedule.count(), 4u);
  editor_.form().programName = "B changed";
  editor_.stepForward();  // onto the last entry, which is not kept: stays
  EXPECT_EQ(FieldText(entry(editor_.current()).programName), "B changed");
  editor_.form().startHour = 9;
  editor_.stepBack();
  EXPECT_EQ(editor_.form().programName, "A");
  EXPECT_EQ(entry(2).startHour, 9);

  entry(3).jobSlot = kJobSlotFree;  // closed out by a tick meanwhile
  ScheduleForm& form = editor_.form() = ScheduleForm{};
  form.programName = std::string(300, 'n'), form.monitorServer = true;
  editor_.append();
  EXPECT_TRUE(editor_.takeChange());
  ASSERT_EQ(profile_.schedule.count(), 4u);
  EXPECT_EQ(editor_.current(), 3u);
  EXPECT_EQ(
      std::tuple(std::string(FieldText(entry(3).programName)), entry(3).jobSlot, entry(3).nameKey),
      std::tuple(std::string(254, 'n'), kJobSlotIdle, 254 * 'n'));

  profile_.knownMountpoints = {{"/a", entry(3).nameKey}, {"/b", entry(3).nameKey}, {"/c", 0}};
  editor_.deleteCurrent();
  ASSERT_EQ(profile_.knownMountpoints.size(), 1u);
  EXPECT_EQ(FieldText(profile_.knownMountpoints[0].url), "/c");
  EXPECT_EQ(editor_.form().programName, "B changed") << "the new last entry";
}

// A recording entry is changed only after a change and a Yes, and deleted it
// is hidden until its close-out removes it.
TEST_F(SchedulerTest, TheEditorsRecordingEntryIsAskedAboutAndHiddenUntilItsCloseOut) {
  add("before", 1, 2, kMonday);
  recording::RecordingJob& job = addRecording("recording", kMonday, true);
  add("Other", 14, 15, kTuesday);
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
  ASSERT_EQ(profile_.schedule.count(), 2u);
  EXPECT_EQ(entry(0).startMinute, 30);
  EXPECT_GE(entry(0).jobSlot, 0) << "the recording goes on";

  editor_.deleteCurrent();
  EXPECT_EQ(ListingOrder(profile_.schedule), std::vector<std::size_t>{1});
  EXPECT_EQ(editor_.form().programName, "Other");
  EXPECT_FALSE(job.stopRequested);
  job.markFinished();
  tickAt(At(7, 15, 0, 5));
  ASSERT_EQ(profile_.schedule.count(), 1u) << "Monday was its only day";
  EXPECT_EQ(FieldText(entry(0).programName), "Other");
}

// The stop window's list may be out of date when a row is picked, and under
// its question the recording may end or its entry move.
TEST_F(SchedulerTest, TheStopListFindsItsRecordingAgainBeforeStoppingIt) {
  // What a tick's close-out does: the job goes, the entry is removed.
  const auto closeOut = [&](std::size_t u) {
    jobs_.giveSlotBack(entry(u).jobSlot);
    profile_.schedule.eraseEntry(u);
  };
  const auto rows = [&] { return ListStoppableRecordings(profile_, jobs_); };
  const auto stop = [&](const StopRow& row) {
    prompter_.answerNext(true);
    return StopRecordingOfRow(row, profile_, jobs_, prompter_, platform::ToLocalTime(At(7, 9, 0)));
  };
  addRecording("idle in lower case").setStatus("idle");  // not listed
  for (const char* name : {"A", "B"}) addRecording(name);
  recording::RecordingJob& c = addRecording("C");
  std::vector<StopRow> shown = rows();
  closeOut(1);  // A ended: position 1 now shows C, and position 1 is used
  EXPECT_EQ(RowToStop(shown, 1, profile_, jobs_, prompter_).value().programName, "C");
  EXPECT_EQ(shown.size(), 2u) << "the list was filled again";
  closeOut(1);  // B ended: its position is gone, but C is still listed
  EXPECT_EQ(RowToStop(shown, 1, profile_, jobs_, prompter_).value().job, &c);
  closeOut(1);
  EXPECT_FALSE(RowToStop(shown, 0, profile_, jobs_, prompter_));
  EXPECT_EQ(prompter_.boxes().back().text, kRecordingTerminatedMessage);

  for (const char* name : {"Ends", "Before"}) addRecording(name);
  recording::RecordingJob& target = addRecording("Target");
  // Under the question a tick closes the first recording out, and a new
  // start may take its slot for another entry.
  prompter_.whileOpen = [&](const std::string& text) {
    if (text == "Stop recording?") closeOut(1), addRecording("Newcomer");
  };
  EXPECT_FALSE(stop(rows()[0]));
  EXPECT_EQ(prompter_.boxes().back().text, kRecordingTerminatedMessage);
  for (std::size_t u = 0; u < profile_.schedule.count(); ++u) {
    EXPECT_EQ(entry(u).doneToday, 0);
    EXPECT_FALSE(jobOf(entry(u))->stopRequested.load());
  }
  EXPECT_TRUE(stop(rows()[1])) << "Target, moved up under the question";
  EXPECT_TRUE(target.stopRequested.load());
  EXPECT_EQ(entry(1).doneToday, 1);
}

// Removing free entries keeps the one after each removal for next time; a
// table that cannot grow warns and changes nothing.
TEST(ScheduleTable, RemovingFreeEntriesKeepsTheOneAfterEachRemovalAndAFailedGrowthWarns) {
  Profile profile;
  ScheduleTable& table = profile.schedule;
  for (const char* name : {"a", "b", "c", "d", "e"}) {
    ScheduleEntry e = Listed(name, 0, 0, 0);
    e.jobSlot = std::strchr("acd", *name) ? kJobSlotFree : kJobSlotIdle;
    MonitorOptions options;  // carries the name too, to see that both move together
    platform::CopyToField(options.ignoredExtensions[0], name);
    table.appendEntry(e, options);
  }
  const auto contents = [&] {
    std::string names;
    for (std::size_t i = 0; i < table.count(); ++i)
      names.append(FieldText(table.entry(i).programName))
          .append(FieldText(table.options(i).ignoredExtensions[0]));
    return names;
  };
  RemoveFreeEntries(table);
  EXPECT_EQ(contents(), "bbddee");
  RemoveFreeEntries(table);
  EXPECT_EQ(contents(), "bbee");

  table = ScheduleTable(2048);
  for (int i = 0; i < 2048; ++i) table.appendEntry(Listed("n", 0, 0, 0), {});
  EXPECT_EQ(table.capacity(), 2048u);
  larkspan::test::RecordingPrompter prompter;
  EXPECT_EQ(AddScheduleEntry(profile, ScheduleEntry{}, MonitorOptions{}, prompter), std::nullopt);
  EXPECT_EQ(prompter.boxes().at(0).text, kTableGrowthFailedMessage);
  EXPECT_EQ(table.count() + table.capacity(), 4096u) << "nothing added, nothing grown";
}

TEST(NameKey, SumsSignedBytesWithTheRemainderTakingTheSumsSign) {
  EXPECT_EQ(nameKey("abc"), 294);
  EXPECT_EQ(nameKey("\xC3\xA9"), -61 - 87);  // bytes of 128 and more count negative
  EXPECT_EQ(nameKey(std::string(1000, 'z')), 122000 - 100001);
  EXPECT_EQ(nameKey(std::string(1000, '\x80')), -128000 + 100001);
}

}  // namespace
}  // namespace larkspan::schedule
