#include "recording/job_table.h"

#include <gtest/gtest.h>

namespace larkspan::recording {
namespace {

TEST(JobTable, TakesTheLowestEmptySlotAndTracksTheHighWater) {
  JobTable table;
  EXPECT_EQ(table.JobTableHighWater(), 0);
  EXPECT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), 0);
  EXPECT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), 1);
  EXPECT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), 2);
  EXPECT_EQ(table.JobTableHighWater(), 3);

  EXPECT_NE(table.giveSlotBack(1), nullptr);
  EXPECT_EQ(table.JobTableHighWater(), 3);
  EXPECT_EQ(table.at(1), nullptr);
  EXPECT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), 1);
  EXPECT_EQ(table.JobTableHighWater(), 3);

  table.giveSlotBack(2);
  EXPECT_EQ(table.JobTableHighWater(), 2);
  table.giveSlotBack(0);
  EXPECT_EQ(table.JobTableHighWater(), 2);
  EXPECT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), 0);
}

TEST(JobTable, GivingBackLowersTheHighWaterByOneOnly) {
  JobTable table;
  for (int i = 0; i < 4; ++i) table.takeSlot(std::make_unique<RecordingJob>());
  table.giveSlotBack(1);
  table.giveSlotBack(2);
  table.giveSlotBack(3);
  EXPECT_EQ(table.JobTableHighWater(), 3);
  EXPECT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), 1);
}

TEST(JobTable, RefusesOnceTheHighWaterReachesTheSlotCount) {
  JobTable table;
  for (int i = 0; i < JobTable::kSlotCount; ++i) {
    ASSERT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), i);
  }
  EXPECT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), std::nullopt);
  // Lower slots are empty, but the high-water count still stands at the top.
  table.giveSlotBack(5);
  table.giveSlotBack(6);
  EXPECT_EQ(table.JobTableHighWater(), JobTable::kSlotCount);
  EXPECT_EQ(table.takeSlot(std::make_unique<RecordingJob>()), std::nullopt);
  EXPECT_NE(table.at(7), nullptr);
  EXPECT_EQ(table.at(5), nullptr);
  EXPECT_EQ(table.at(-1), nullptr);
  EXPECT_EQ(table.at(JobTable::kSlotCount), nullptr);
  EXPECT_EQ(table.giveSlotBack(JobTable::kSlotCount), nullptr);
  table.clear();
  EXPECT_EQ(table.JobTableHighWater(), 0);
  EXPECT_EQ(table.at(7), nullptr);
}

}  // namespace
}  // namespace larkspan::recording

#include "recording/manual_job.h"

namespace larkspan::recording {
namespace {

TEST(ManualJob, AtMostOneExistsAndItIsReleasedOnlyWhenFinished) {
  ManualJob manual;
  EXPECT_FALSE(manual.exists());
  manual.requestStop();  // nothing to stop: no effect
  RecordingJob* job = manual.create();
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(job->status(), "IDLE");
  EXPECT_EQ(manual.create(), nullptr) << "a second Connect starts nothing";
  EXPECT_FALSE(manual.releaseIfFinished());
  manual.requestStop();
  EXPECT_TRUE(job->stopRequested);
  EXPECT_FALSE(manual.releaseIfFinished()) << "stopping is not finishing";
  job->markFinished();
  EXPECT_TRUE(manual.releaseIfFinished());
  EXPECT_FALSE(manual.exists());
  EXPECT_NE(manual.create(), nullptr);
}

}  // namespace
}  // namespace larkspan::recording
