#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace larkspan::platform {

// One thread that runs posted tasks one at a time, in the order posted, so
// that slow work (an IRC connect to a server that does not answer) never
// holds up the thread that posts it. The thread starts with the first task.
class BackgroundWorker {
 public:
  BackgroundWorker() = default;
  // Drops the tasks not yet started and waits for the one that runs.
  ~BackgroundWorker();
  BackgroundWorker(const BackgroundWorker&) = delete;
  BackgroundWorker& operator=(const BackgroundWorker&) = delete;

  void post(std::function<void()> task);
  // True when no task is queued or running.
  bool idle() const;
  // Waits until idle(); for tests and orderly ends.
  void waitUntilIdle() const;

 private:
  void run();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  bool running_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace larkspan::platform
