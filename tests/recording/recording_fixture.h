#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/small_stack_thread.h"
#include "recording/recording_thread.h"
#include "tests/support/recording_doubles.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::recording {

// `reply`, then silence until the server stops.
inline test::ScriptedReply Stalled(test::ScriptedReply reply) {
  reply.stall = true;
  return reply;
}
// The stream from `offset`, `length` bytes, then silence. Reads wait for
// whole chunks of 1,023 bytes, so a length that is not a multiple of that
// reaches the file only when the read times out.
inline test::ScriptedReply StreamThenSilence(std::uint64_t offset = 0, std::uint64_t length = 0) {
  return Stalled(test::ScriptedReply::Stream(offset, length));
}

// Runs recording threads in a start-up directory of their own and keeps
// every status each job goes through with the moment it was set. The
// platform is scripted (a clock whose pauses take no time, a tone and an
// encoder that only record what they are asked) unless the test is live:
// then the system clock runs and the encoder is a program.
class RecordingTest : public ::testing::Test {
 protected:
  using SteadyClock = std::chrono::steady_clock;
  // 2026-12-07 06:05:00 UTC, a Monday.
  static constexpr std::int64_t kMonday0605 = 1796623500;

  explicit RecordingTest(bool live = false)
      : context_{.startupDirectory = folder_.path(),
                 .clock = live ? static_cast<platform::Clock&>(systemClock_) : clock_,
                 .prompter = prompter_,
                 .tone = tone_,
                 .commands = live ? static_cast<platform::CommandRunner&>(spawn_) : commands_,
                 .trayIconFile = tray_,
                 .encoderLock = encoderLock_,
                 .connectTimeout = std::chrono::seconds(5),
                 .readTimeout = std::chrono::seconds(5)} {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }

  void TearDown() override {
    for (auto& job : jobs_) job->stopRequested = true;
    for (auto& thread : threads_) thread.join();
  }

  RecordingJob& newJob(std::string_view url, std::string_view output,
                       RecordingJobSetup setup = {}) {
    setup.url = url;
    setup.outputFile = output;
    RecordingJob& job = *jobs_.emplace_back(std::make_unique<RecordingJob>());
    SetUpRecordingJob(job, setup);
    job.statusObserver = [this, &job](std::string_view s) {
      const std::lock_guard lock(mutex_);
      changes_.emplace_back(&job, s, SteadyClock::now());
    };
    return job;
  }

  RecordingJob& start(RecordingJob& job) {
    threads_.push_back(StartRecordingThread(job, context_));
    return job;
  }

  // Records `url` into `name` until the file holds `size` bytes, then stops.
  RecordingJob& recordUntil(std::string_view url, const std::string& name, std::uintmax_t size,
                            RecordingJobSetup setup = {}) {
    RecordingJob& job = start(newJob(url, name, setup));
    EXPECT_TRUE(waitFor([&] { return fileSize(name) == size; })) << fileSize(name);
    stopAndWait(job);
    return job;
  }

  // Asks the job to stop and waits for its end, conversion included.
  void stopAndWait(RecordingJob& job) {
    job.stopRequested = true;
    ASSERT_TRUE(waitFor([&] { return job.isFinished(); }, std::chrono::seconds(60)));
  }

  template <typename Predicate>
  bool waitFor(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    for (const auto end = SteadyClock::now() + timeout; !done();
         std::this_thread::sleep_for(std::chrono::milliseconds(5)))
      if (SteadyClock::now() > end) return false;
    return true;
  }

  std::vector<std::string> statuses(const RecordingJob& job) const {
    std::vector<std::string> seen;
    const std::lock_guard lock(mutex_);
    for (const auto& [changed, status, at] : changes_)
      if (changed == &job) seen.push_back(status);
    return seen;
  }
  // The moment `status` was first set; none when it was not.
  std::optional<SteadyClock::time_point> firstTime(const RecordingJob& job,
                                                   std::string_view status) const {
    const std::lock_guard lock(mutex_);
    for (const auto& [changed, set, at] : changes_)
      if (changed == &job && set == status) return at;
    return std::nullopt;
  }

  const std::filesystem::path& dir() const { return folder_.path(); }
  std::string path(const std::string& name) const { return (dir() / name).string(); }
  std::string readFile(const std::filesystem::path& file) const {
    return test::ReadFile(dir() / file);
  }
  std::uintmax_t fileSize(const std::string& name) const {
    std::error_code error;
    const auto size = std::filesystem::file_size(dir() / name, error);
    return error ? 0 : size;
  }
  std::string logText() const { return readFile("log.txt"); }
  // The start-up directory's files, the activity log left out.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir()))
      if (entry.path().filename() != "log.txt") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TemporaryFolder folder_;
  test::ScriptedClock clock_{kMonday0605};
  platform::SystemClock systemClock_;
  test::RecordingPrompter prompter_;
  test::RecordingTone tone_;
  test::RecordingCommandRunner commands_;
  platform::SpawnCommandRunner spawn_;
  TrayIconFile tray_;
  std::mutex encoderLock_;
  RecordingContext context_;

 private:
  mutable std::mutex mutex_;
  // Each job's statuses, with the moment each was set.
  std::vector<std::tuple<const RecordingJob*, std::string, SteadyClock::time_point>> changes_;
  std::vector<std::unique_ptr<RecordingJob>> jobs_;
  std::vector<platform::SmallStackThread> threads_;
};

// True when `wanted` occurs in `all` in this order, other items between.
inline bool InOrder(const std::vector<std::string>& all, const std::vector<std::string>& wanted) {
  std::size_t found = 0;
  for (const std::string& item : all) found += found < wanted.size() && item == wanted[found];
  return found == wanted.size();
}

}  // namespace larkspan::recording
