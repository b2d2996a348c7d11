#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/small_stack_thread.h"
#include "recording/recording_thread.h"
#include "tests/support/recording_doubles.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_clock.h"
#include "tests/support/scripted_http_server.h"

namespace larkspan::recording {

// A reply that sends its head and then nothing until the server stops.
inline test::ScriptedReply Silent() {
  test::ScriptedReply reply = test::ScriptedReply::Stream(0, 0);
  reply.stall = true;
  return reply;
}

// The stream from `offset`, `length` bytes, then silence. Reads wait for
// whole chunks of 1,023 bytes, so a length that is not a multiple of that
// reaches the file only when the read times out.
inline test::ScriptedReply StreamThenSilence(std::uint64_t offset, std::uint64_t length) {
  test::ScriptedReply reply = test::ScriptedReply::Stream(offset, length);
  reply.stall = true;
  return reply;
}

// Runs recording threads in a start-up directory of their own, with a
// scripted clock (pauses take no time) and recording doubles, and collects
// every status each job goes through.
class RecordingThreadTest : public ::testing::Test {
 protected:
  // 2026-12-07 06:05:00 UTC, a Monday.
  static constexpr std::int64_t kMonday0605 = 1796623500;

  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    dir_ = std::filesystem::temp_directory_path() /
           ("larkspan-rec-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    context_ = std::make_unique<RecordingContext>(
        RecordingContext{.startupDirectory = dir_,
                         .clock = clock_,
                         .prompter = prompter_,
                         .tone = tone_,
                         .commands = commands_,
                         .trayIconFile = tray_,
                         .encoderLock = encoderLock_,
                         .connectTimeout = std::chrono::seconds(2),
                         .readTimeout = std::chrono::seconds(5)});
  }

  void TearDown() override {
    for (auto& job : jobs_) job->stopRequested = true;
    for (auto& thread : threads_) thread.join();
    std::filesystem::remove_all(dir_);
  }

  RecordingJob& newJob(std::string_view url, std::string_view output,
                       RecordingJobSetup setup = {}) {
    setup.url = url;
    setup.outputFile = output;
    jobs_.push_back(std::make_unique<RecordingJob>());
    statuses_.emplace_back(std::make_unique<Statuses>());
    RecordingJob& job = *jobs_.back();
    SetUpRecordingJob(job, setup);
    Statuses* seen = statuses_.back().get();
    job.statusObserver = [seen](std::string_view s) {
      const std::lock_guard lock(seen->mutex);
      seen->list.emplace_back(s);
    };
    return job;
  }

  void start(RecordingJob& job) { threads_.push_back(StartRecordingThread(job, *context_)); }

  void stopAndWait(RecordingJob& job) {
    job.stopRequested = true;
    ASSERT_TRUE(waitFor([&] { return job.isFinished(); }, std::chrono::seconds(20)));
  }

  template <typename Predicate>
  bool waitFor(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  std::vector<std::string> statuses(const RecordingJob& job) const {
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      if (jobs_[i].get() == &job) {
        const std::lock_guard lock(statuses_[i]->mutex);
        return statuses_[i]->list;
      }
    }
    return {};
  }

  std::string readFile(const std::filesystem::path& path) const {
    std::ifstream in(path.is_relative() ? dir_ / path : path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::uintmax_t fileSize(const std::filesystem::path& name) const {
    std::error_code ec;
    const auto size = std::filesystem::file_size(dir_ / name, ec);
    return ec ? 0 : size;
  }
  std::string logText() const { return readFile(dir_ / "log.txt"); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
  test::ScriptedClock clock_{kMonday0605};
  test::RecordingPrompter prompter_;
  test::RecordingTone tone_;
  test::RecordingCommandRunner commands_;
  TrayIconFile tray_;
  std::mutex encoderLock_;
  std::unique_ptr<RecordingContext> context_;

 private:
  struct Statuses {
    std::mutex mutex;
    std::vector<std::string> list;
  };
  std::vector<std::unique_ptr<RecordingJob>> jobs_;
  std::vector<std::unique_ptr<Statuses>> statuses_;
  std::vector<platform::SmallStackThread> threads_;
};

}  // namespace larkspan::recording
