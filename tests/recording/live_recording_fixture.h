#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/small_stack_thread.h"
#include "platform/tone.h"
#include "recording/recording_thread.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::recording {

// Recordings with the real platform: the system clock and its pauses, the
// encoder run as a program, and a start-up directory of their own. Every
// status a job goes through is kept with the moment it was set.
class LiveRecordingTest : public ::testing::Test {
 protected:
  using SteadyClock = std::chrono::steady_clock;
  struct Change {
    std::string status;
    SteadyClock::time_point at;
  };

  void TearDown() override {
    for (auto& job : jobs_) job->stopRequested = true;
    for (auto& thread : threads_) thread.join();
  }

  RecordingJob& newJob(std::string_view url, std::string_view output,
                       RecordingJobSetup setup = {}) {
    setup.url = url;
    setup.outputFile = output;
    setup.disableSounds = true;
    jobs_.push_back(std::make_unique<RecordingJob>());
    changes_.push_back(std::make_unique<Changes>());
    RecordingJob& job = *jobs_.back();
    SetUpRecordingJob(job, setup);
    Changes* seen = changes_.back().get();
    job.statusObserver = [seen](std::string_view s) {
      const std::lock_guard lock(seen->mutex);
      seen->list.push_back({std::string(s), SteadyClock::now()});
    };
    return job;
  }

  void start(RecordingJob& job) { threads_.push_back(StartRecordingThread(job, context_)); }

  // Asks the job to stop and waits for its end, conversion included.
  void stopAndWait(RecordingJob& job) {
    job.stopRequested = true;
    ASSERT_TRUE(waitFor([&] { return job.isFinished(); }, std::chrono::seconds(60)));
  }

  template <typename Predicate>
  bool waitFor(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto end = SteadyClock::now() + timeout;
    while (!done()) {
      if (SteadyClock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  std::vector<Change> changes(const RecordingJob& job) const {
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      if (jobs_[i].get() == &job) {
        const std::lock_guard lock(changes_[i]->mutex);
        return changes_[i]->list;
      }
    }
    return {};
  }
  std::vector<std::string> statuses(const RecordingJob& job) const {
    std::vector<std::string> texts;
    for (const auto& c : changes(job)) texts.push_back(c.status);
    return texts;
  }
  // The moment `status` was first set after `after`; none when it was not.
  std::optional<SteadyClock::time_point> firstTime(const RecordingJob& job, std::string_view status,
                                                   SteadyClock::time_point after = {}) const {
    for (const auto& c : changes(job)) {
      if (c.status == status && c.at >= after) return c.at;
    }
    return std::nullopt;
  }

  std::filesystem::path path(const std::string& name) const { return dir() / name; }
  const std::filesystem::path& dir() const { return folder_.path(); }
  std::uintmax_t fileSize(const std::string& name) const {
    std::error_code error;
    const auto size = std::filesystem::file_size(path(name), error);
    return error ? 0 : size;
  }
  std::string readFile(const std::filesystem::path& file) const {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string logText() const { return readFile(path("log.txt")); }
  // The start-up directory's files, the activity log left out.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir())) {
      if (entry.path().filename() != "log.txt") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TemporaryFolder folder_;
  platform::SystemClock clock_;
  test::RecordingPrompter prompter_;
  platform::SilentTone tone_;
  platform::SpawnCommandRunner commands_;
  TrayIconFile tray_;
  std::mutex encoderLock_;
  RecordingContext context_{.startupDirectory = folder_.path(),
                            .clock = clock_,
                            .prompter = prompter_,
                            .tone = tone_,
                            .commands = commands_,
                            .trayIconFile = tray_,
                            .encoderLock = encoderLock_};

 private:
  struct Changes {
    std::mutex mutex;
    std::vector<Change> list;
  };
  std::vector<std::unique_ptr<RecordingJob>> jobs_;
  std::vector<std::unique_ptr<Changes>> changes_;
  std::vector<platform::SmallStackThread> threads_;
};

// True when `wanted` occurs in `all` in this order, other items between.
inline bool InOrder(const std::vector<std::string>& all, const std::vector<std::string>& wanted) {
  auto at = all.begin();
  for (const auto& w : wanted) {
    at = std::find(at, all.end(), w);
    if (at == all.end()) return false;
    ++at;
  }
  return true;
}

}  // namespace larkspan::recording
