#include "recording/recording_job.h"
#include "recording/job_table.h"
#include "recording/manual_job.h"

#include <gtest/gtest.h>

#include <future>
#include <latch>
#include <thread>

namespace larkspan::recording {
namespace {

TEST(ExtensionFromName, TakesTheTextAfterTheLastDotUnlessAnotherDotComesFirst) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"http://host:8000/live.ogg", "ogg"},
      {"C:\\rec\\show.flac", "flac"},
      {"show." + std::string(40, 'x'), std::string(31, 'x')},
      {"http://host/a.b.aac", "mp3"},
      {"C:\\my.dir\\show.ogg", "mp3"},  // a backslash does not stop the search
      {"/my.dir/show.ogg", "ogg"},      // a slash does
      {"http://10.1.2.3:8000/live", std::nullopt},
      {"dir/x.y/show", std::nullopt},
      {"host.example:8000", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [name, extension] : cases) EXPECT_EQ(ExtensionFromName(name), extension) << name;
}

TEST(SetUpRecordingJob, OggMarksAnOggStreamAndEndsPersistenceUnlessMonitored) {
  struct Case {
    const char* url;
    bool persistentIn, monitor, ogg, persistentOut;
  };
  const Case cases[] = {
      {"http://host:8000/live.mp3", true, false, false, true},
      {"http://flipzu.com/x", true, false, true, true},  // Ogg, but no "ogg" in the URL
      {"http://host:8000/live.ogg", true, false, true, false},
      {"http://host/OGG/ogg", true, false, true, false},
      {"ogg://host/x", true, false, true, true},  // "ogg" at the very start
      {"http://host:8000/live.mp3", false, false, false, false},
      {"http://host:8000/live.mp3", true, true, false, false},  // monitored ones count losses
  };
  for (const Case& c : cases) {
    RecordingJob job;
    SetUpRecordingJob(job,
                      {.url = c.url, .persistent = c.persistentIn, .monitorMountpoint = c.monitor});
    EXPECT_EQ(job.oggStream, c.ogg) << c.url;
    EXPECT_EQ(job.persistent, c.persistentOut) << c.url << " " << c.persistentIn << c.monitor;
  }
}

TEST(RecordingJob, AnObserverThatBlocksNeverHoldsUpTheStatusReaders) {
  // A front end printing statuses to a pipe nobody reads.
  RecordingJob job;
  std::latch entered(1), released(1);
  job.statusObserver = [&](std::string_view) {
    entered.count_down();
    released.wait();
  };
  std::thread writer([&] { job.setStatus("RECORDING"); });
  entered.wait();
  auto read = std::async(std::launch::async, [&] { return job.status(); });
  const bool answered = read.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  released.count_down();
  writer.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(read.get(), "RECORDING");
}

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
