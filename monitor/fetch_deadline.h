#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace larkspan::monitor {

// Raises a flag once a time has passed, for the cancel flag of an HTTP
// request: the request's own time-outs bound each wait, but a server that
// sends a byte now and then would keep a read going for ever. Destroying the
// deadline ends its watch at once.
class FetchDeadline {
 public:
  explicit FetchDeadline(std::chrono::milliseconds after);
  ~FetchDeadline();
  FetchDeadline(const FetchDeadline&) = delete;
  FetchDeadline& operator=(const FetchDeadline&) = delete;

  const std::atomic<bool>* flag() const { return &passed_; }

 private:
  std::atomic<bool> passed_{false};
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::jthread watch_;
};

}  // namespace larkspan::monitor
