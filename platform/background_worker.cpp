#include "platform/background_worker.h"

#include <exception>

namespace larkspan::platform {

BackgroundWorker::~BackgroundWorker() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    tasks_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BackgroundWorker::post(std::function<void()> task) {
  {
    const std::lock_guard lock(mutex_);
    if (stopping_) return;
    tasks_.push_back(std::move(task));
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  }
  changed_.notify_all();
}

bool BackgroundWorker::idle() const {
  const std::lock_guard lock(mutex_);
  return tasks_.empty() && !running_;
}

void BackgroundWorker::waitUntilIdle() const {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return (tasks_.empty() && !running_) || stopping_; });
}

void BackgroundWorker::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    if (stopping_) return;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    running_ = true;
    lock.unlock();
    try {
      task();
    } catch (const std::exception&) {
      // A task reports its own failures; one that escapes must not end the
      // worker, nor the program.
    }
    lock.lock();
    running_ = false;
    changed_.notify_all();
  }
}

}  // namespace larkspan::platform
