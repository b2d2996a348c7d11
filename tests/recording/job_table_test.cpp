#include "recording/job_table.h"

#include <gtest/gtest.h>

#include "recording/manual_job.h"

namespace larkspan::recording {
namespace {

TEST(JobTable, TakesTheLowestEmptySlotBelowAHighWaterThatFallsByOneOnly) {
  JobTable table;
  const auto take = [&] { return table.takeSlot(std::make_unique<RecordingJob>()); };
  for (int i = 0; i < JobTable::kSlotCount; ++i) ASSERT_EQ(take(), i);
  EXPECT_EQ(take(), std::nullopt);
  // Lower slots are empty, but the high-water count still stands at the top.
  EXPECT_NE(table.giveSlotBack(5), nullptr);
  EXPECT_EQ(take(), std::nullopt);
  // Giving back the top slot lowers the high water past it only, not past
  // the empty slots below.
  constexpr int kTop = JobTable::kSlotCount - 1;
  for (const int slot : {kTop - 2, kTop - 1, kTop}) EXPECT_NE(table.giveSlotBack(slot), nullptr);
  EXPECT_EQ(table.JobTableHighWater(), kTop);
  EXPECT_EQ(take(), 5);
  EXPECT_EQ(take(), kTop - 2);
  EXPECT_EQ(table.at(-1), nullptr);
  EXPECT_EQ(table.at(JobTable::kSlotCount), nullptr);
  EXPECT_EQ(table.giveSlotBack(JobTable::kSlotCount), nullptr);
  table.clear();
  EXPECT_EQ(table.JobTableHighWater(), 0);
  EXPECT_EQ(table.at(0), nullptr);
  EXPECT_EQ(take(), 0);
}

TEST(ManualJob, AtMostOneExistsAndItIsReleasedOnlyWhenFinished) {
  ManualJob manual;
  manual.requestStop();  // nothing to stop: no effect
  RecordingJob* job = manual.create();
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(manual.create(), nullptr) << "a second Connect starts nothing";
  manual.requestStop();
  EXPECT_TRUE(job->stopRequested);
  EXPECT_FALSE(manual.releaseIfFinished()) << "stopping is not finishing";
  job->markFinished();
  EXPECT_TRUE(manual.releaseIfFinished());
  EXPECT_FALSE(manual.exists());
}

}  // namespace
}  // namespace larkspan::recording
