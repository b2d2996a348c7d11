// The stop window's list and its double-click rules, over a schedule whose
// recordings are jobs in the job table (no threads: only their statuses and
// stop requests matter here). Ticks may close recordings out and move
// entries while the list is shown and while its question is open.

#include "schedule/stop_list.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/recording_prompter.h"

namespace larkspan::schedule {
namespace {

using test::RecordingPrompter;

class StopListTest : public ::testing::Test {
 protected:
  // Entry `name`, recording in a job whose status is `status`.
  recording::RecordingJob& add(std::string_view name, std::string_view status = "RECORDING") {
    ScheduleEntry e;
    platform::CopyToField(e.programName, name);
    auto job = std::make_unique<recording::RecordingJob>();
    job->setStatus(status);
    recording::RecordingJob& added = *job;
    e.jobSlot = *jobs_.takeSlot(std::move(job));
    e.running = 1;
    profile_.schedule.appendEntry(e, {});
    return added;
  }
  // What a tick's close-out does: the job goes, the entry is removed.
  void closeOut(std::size_t u) {
    jobs_.giveSlotBack(profile_.schedule.entry(u).jobSlot);
    profile_.schedule.eraseEntry(u);
  }
  std::vector<StopRow> rows() { return ListStoppableRecordings(profile_, jobs_); }
  bool stop(const StopRow& row) {
    return StopRecordingOfRow(row, profile_, jobs_, prompter_,
                              {.year = 2026, .month = 12, .day = 7});
  }

  Profile profile_;
  recording::JobTable jobs_;
  RecordingPrompter prompter_;
};

TEST_F(StopListTest, ListsRunningRecordingsInScheduleOrderAndStopsTheOnePicked) {
  std::vector<recording::RecordingJob*> jobs;
  for (int i = 1; i <= 11; ++i) {
    if (i == 5) add("idle in lower case", "idle");
    jobs.push_back(&add(platform::Format("Show %d", i)));
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
  const ScheduleEntry& tenth = profile_.schedule.entry(row->entryIndex);
  EXPECT_EQ(tenth.running, 0);
  EXPECT_EQ(tenth.doneToday, 1);
  EXPECT_EQ(prompter_.questions(), (std::vector<std::string>(2, "Stop recording?")));
}

TEST_F(StopListTest, AnOutOfDateListIsFilledAgainBeforeAnythingIsStopped) {
  add("A");
  add("B");
  recording::RecordingJob& c = add("C");
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
  add("Ends");
  add("Before");
  recording::RecordingJob& target = add("Target");
  // Under the question a tick closes the first recording out, and a new
  // start may take its slot for another entry.
  prompter_.whileOpen = [&](const std::string& text) {
    if (text == "Stop recording?") closeOut(0), add("Newcomer");
  };
  prompter_.answerNext(true);
  EXPECT_FALSE(stop(rows()[0]));
  EXPECT_EQ(prompter_.boxes().back().text, kRecordingTerminatedMessage);
  for (std::size_t u = 0; u < profile_.schedule.count(); ++u) {
    EXPECT_EQ(profile_.schedule.entry(u).doneToday, 0);
    EXPECT_FALSE(jobs_.at(profile_.schedule.entry(u).jobSlot)->stopRequested.load());
  }
  prompter_.answerNext(true);
  EXPECT_TRUE(stop(rows()[1])) << "Target, moved up under the question";
  EXPECT_TRUE(target.stopRequested.load());
  EXPECT_EQ(profile_.schedule.entry(0).doneToday, 1);
}

}  // namespace
}  // namespace larkspan::schedule
