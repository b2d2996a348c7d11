// The stop window's list and its double-click rules, over a schedule whose
// recordings are jobs in the job table (no threads: only their statuses and
// stop requests matter here). Ticks may close recordings out and move
// entries while the list is shown and while its question is open.

#include "schedule/stop_list.h"

#include "tests/schedule/scheduler_fixture.h"

namespace larkspan::schedule {
namespace {

class StopListTest : public SchedulerTest {
 protected:
  // What a tick's close-out does: the job goes, the entry is removed.
  void closeOut(std::size_t u) {
    jobs_.giveSlotBack(entry(u).jobSlot);
    profile_.schedule.eraseEntry(u);
  }
  std::vector<StopRow> rows() { return ListStoppableRecordings(profile_, jobs_); }
  bool stop(const StopRow& row) {
    return StopRecordingOfRow(row, profile_, jobs_, prompter_, platform::ToLocalTime(At(7, 9, 0)));
  }
};

TEST_F(StopListTest, ListsRunningRecordingsInScheduleOrderAndStopsTheOnePicked) {
  std::vector<recording::RecordingJob*> jobs;
  for (int i = 1; i <= 11; ++i) {
    if (i == 5) addRecording("idle in lower case").setStatus("idle");
    jobs.push_back(&addRecording(platform::Format("Show %d", i)));
  }
  std::vector<StopRow> shown = rows();
  ASSERT_EQ(shown.size(), 11u);
  EXPECT_EQ(StopRowText(10, shown[10]), "[11] Show 11");
  EXPECT_FALSE(stop(shown[9])) << "answered No";
  prompter_.answerNext(true);
  const std::optional<StopRow> row = RowToStop(shown, 9, profile_, jobs_, prompter_);
  ASSERT_TRUE(row);
  EXPECT_TRUE(stop(*row));
  for (int i = 0; i < 11; ++i) EXPECT_EQ(jobs[i]->stopRequested.load(), i == 9) << i;
  const ScheduleEntry& tenth = entry(row->entryIndex);
  EXPECT_EQ(tenth.running, 0);
  EXPECT_EQ(tenth.doneToday, 1);
  EXPECT_EQ(prompter_.questions(), (std::vector<std::string>(2, "Stop recording?")));
}

TEST_F(StopListTest, AnOutOfDateListIsFilledAgainBeforeAnythingIsStopped) {
  addRecording("A");
  addRecording("B");
  recording::RecordingJob& c = addRecording("C");
  std::vector<StopRow> shown = rows();

  // A ended and was removed: position 1 now shows C, and position 1 is used.
  closeOut(0);
  std::optional<StopRow> row = RowToStop(shown, 1, profile_, jobs_, prompter_);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->programName, "C");
  EXPECT_EQ(shown.size(), 2u) << "the list was filled again";

  // The picked position is gone, but its recording is still listed elsewhere.
  shown = rows();  // B, C
  closeOut(0);     // B ends
  row = RowToStop(shown, 1, profile_, jobs_, prompter_);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->job, &c);

  shown = rows();
  closeOut(0);
  EXPECT_FALSE(RowToStop(shown, 0, profile_, jobs_, prompter_));
  EXPECT_EQ(prompter_.boxes().back().text, kRecordingTerminatedMessage);
}

TEST_F(StopListTest, UnderTheQuestionTheRecordingMayEndOrItsEntryMove) {
  addRecording("Ends");
  addRecording("Before");
  recording::RecordingJob& target = addRecording("Target");
  // Under the question a tick closes the first recording out, and a new
  // start may take its slot for another entry.
  prompter_.whileOpen = [&](const std::string& text) {
    if (text == "Stop recording?") closeOut(0), addRecording("Newcomer");
  };
  prompter_.answerNext(true);
  EXPECT_FALSE(stop(rows()[0]));
  EXPECT_EQ(prompter_.boxes().back().text, kRecordingTerminatedMessage);
  for (std::size_t u = 0; u < profile_.schedule.count(); ++u) {
    EXPECT_EQ(entry(u).doneToday, 0);
    EXPECT_FALSE(jobs_.at(entry(u).jobSlot)->stopRequested.load());
  }
  prompter_.answerNext(true);
  EXPECT_TRUE(stop(rows()[1])) << "Target, moved up under the question";
  EXPECT_TRUE(target.stopRequested.load());
  EXPECT_EQ(entry(0).doneToday, 1);
}

}  // namespace
}  // namespace larkspan::schedule
