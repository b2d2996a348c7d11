// The stop window's list and its double-click rules, over a schedule whose
// recordings are jobs in the job table (no threads: only their statuses and
// stop requests matter here).

#include "schedule/stop_list.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/text.h"
#include "tests/support/recording_prompter.h"

namespace larkspan::schedule {
namespace {

using test::RecordingPrompter;

// A prompter whose question runs `meanwhile` first, as a tick would under
// the box, then answers.
class BusyPrompter final : public platform::Prompter {
 public:
  std::function<void()> meanwhile;
  bool answer = true;
  std::vector<std::string> warnings;
  void warning(const std::string& text) override { warnings.push_back(text); }
  void information(const std::string&) override {}
  bool askYesNo(const std::string&) override {
    if (meanwhile) meanwhile();
    return answer;
  }
};

class StopListTest : public ::testing::Test {
 protected:
  // Entry `name`, recording in a job whose status is `status`.
  recording::RecordingJob& addRecording(std::string_view name, std::string_view status = "RECORDING") {
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
  void addIdleEntry(std::string_view name) {
    ScheduleEntry e;
    platform::CopyToField(e.programName, name);
    e.jobSlot = kJobSlotIdle;
    profile_.schedule.appendEntry(e, {});
  }
  // What a tick's close-out does: the job goes, the entry is removed.
  void closeOut(std::size_t u) {
    jobs_.giveSlotBack(profile_.schedule.entry(u).jobSlot);
    profile_.schedule.eraseEntry(u);
  }
  std::vector<StopRow> rows() { return ListStoppableRecordings(profile_, jobs_); }

  Profile profile_;
  recording::JobTable jobs_;
  const platform::LocalTime today_{.year = 2026, .month = 12, .day = 7};
};

TEST_F(StopListTest, ListsRunningRecordingsInScheduleOrderNumberedFromOne) {
  std::vector<recording::RecordingJob*> jobs;
  for (int i = 1; i <= 11; ++i) {
    if (i == 3) addIdleEntry("never started");
    if (i == 5) addRecording("idle in lower case", "idle");
    jobs.push_back(&addRecording(platform::Format("Show %d", i)));
  }
  const std::vector<StopRow> listed = rows();
  ASSERT_EQ(listed.size(), 11u);
  EXPECT_EQ(StopRowText(0, listed[0]), "[1] Show 1");
  EXPECT_EQ(StopRowText(9, listed[9]), "[10] Show 10");
  EXPECT_EQ(StopRowText(10, listed[10]), "[11] Show 11");

  RecordingPrompter prompter;
  prompter.answerNext(true);
  std::vector<StopRow> shown = listed;
  const std::optional<StopRow> row = RowToStop(shown, 9, profile_, jobs_, prompter);
  ASSERT_TRUE(row);
  EXPECT_TRUE(StopRecordingOfRow(*row, profile_, jobs_, prompter, today_));
  for (int i = 0; i < 11; ++i) EXPECT_EQ(jobs[i]->stopRequested.load(), i == 9) << i;
  const ScheduleEntry& tenth = profile_.schedule.entry(row->entryIndex);
  EXPECT_EQ(tenth.running, 0);
  EXPECT_EQ(tenth.doneToday, 1);
  EXPECT_EQ(prompter.boxes(),
            (std::vector<RecordingPrompter::Box>{{RecordingPrompter::Kind::Question, "Stop recording?"}}));
}

TEST_F(StopListTest, NoLeavesTheRecordingRunning) {
  recording::RecordingJob& job = addRecording("Morning");
  RecordingPrompter prompter;  // answers No
  EXPECT_FALSE(StopRecordingOfRow(rows()[0], profile_, jobs_, prompter, today_));
  EXPECT_FALSE(job.stopRequested.load());
  EXPECT_EQ(profile_.schedule.entry(0).running, 1);
  EXPECT_EQ(profile_.schedule.entry(0).doneToday, 0);
}

// The list the user sees may be out of date: recordings end and entries move.
TEST_F(StopListTest, AnOutOfDateListIsFilledAgainBeforeAnythingIsStopped) {
  addRecording("A");
  addRecording("B");
  recording::RecordingJob& c = addRecording("C");
  std::vector<StopRow> shown = rows();

  // A ended and was removed: position 1 now shows C, and position 1 is used.
  closeOut(0);
  RecordingPrompter prompter;
  std::optional<StopRow> row = RowToStop(shown, 1, profile_, jobs_, prompter);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->programName, "C");
  EXPECT_EQ(shown.size(), 2u) << "the list was filled again";

  // The picked position is gone, but its recording is still listed elsewhere.
  shown = rows();  // B, C
  closeOut(0);     // B ends
  row = RowToStop(shown, 1, profile_, jobs_, prompter);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->job, &c);

  // Nothing is left.
  shown = rows();
  closeOut(0);
  EXPECT_FALSE(RowToStop(shown, 0, profile_, jobs_, prompter));
  EXPECT_EQ(prompter.boxes().back().text, kRecordingTerminatedMessage);
}

TEST_F(StopListTest, ARecordingThatEndsWhileTheQuestionIsOpenIsNotStoppedNorAnother) {
  addRecording("Ends");
  recording::RecordingJob& other = addRecording("Other");
  const StopRow row = rows()[0];
  BusyPrompter prompter;
  // Under the box a tick closes the recording out, and a new start reuses
  // its slot for another entry.
  prompter.meanwhile = [&] {
    closeOut(0);
    addRecording("Newcomer");
  };
  EXPECT_FALSE(StopRecordingOfRow(row, profile_, jobs_, prompter, today_));
  EXPECT_EQ(prompter.warnings, std::vector<std::string>{kRecordingTerminatedMessage});
  EXPECT_FALSE(other.stopRequested.load());
  for (std::size_t u = 0; u < profile_.schedule.count(); ++u) {
    EXPECT_EQ(profile_.schedule.entry(u).doneToday, 0);
    EXPECT_FALSE(jobs_.at(profile_.schedule.entry(u).jobSlot)->stopRequested.load());
  }
}

TEST_F(StopListTest, AnEntryThatMovedUnderTheQuestionIsStillTheOneStopped) {
  addRecording("Before");
  recording::RecordingJob& target = addRecording("Target");
  const StopRow row = rows()[1];
  BusyPrompter prompter;
  prompter.meanwhile = [&] { closeOut(0); };  // Target moves up to index 0
  EXPECT_TRUE(StopRecordingOfRow(row, profile_, jobs_, prompter, today_));
  EXPECT_TRUE(target.stopRequested.load());
  EXPECT_EQ(profile_.schedule.entry(0).doneToday, 1);
}

}  // namespace
}  // namespace larkspan::schedule
