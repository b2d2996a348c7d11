#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace larkspan::test {

// A clock that tests set and advance. Sleeping advances it by the time slept
// at once (or stops short when the stop flag is set), so code that waits a
// second between attempts runs without waiting.
class ScriptedClock final : public platform::Clock {
 public:
  explicit ScriptedClock(std::int64_t epochSeconds = 0) : seconds_(epochSeconds) {}

  void set(std::int64_t epochSeconds) {
    const std::lock_guard lock(mutex_);
    seconds_ = epochSeconds;
    fraction_ = {};
  }
  void advance(std::chrono::milliseconds by) {
    const std::lock_guard lock(mutex_);
    fraction_ += by;
    seconds_ += std::chrono::duration_cast<std::chrono::seconds>(fraction_).count();
    fraction_ %= std::chrono::seconds(1);
    steady_ += by;
  }

  platform::LocalTime localNow() override {
    const std::lock_guard lock(mutex_);
    return platform::ToLocalTime(seconds_);
  }
  std::chrono::steady_clock::time_point steadyNow() override {
    const std::lock_guard lock(mutex_);
    return std::chrono::steady_clock::time_point(steady_);
  }
  bool sleepFor(std::chrono::milliseconds duration, const std::atomic<bool>* stop) override {
    if (stop && stop->load(std::memory_order_acquire)) return false;
    // A moment of real time, so that a retry loop does not spin flat out.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    advance(duration);
    return true;
  }

 private:
  std::mutex mutex_;
  std::int64_t seconds_;
  std::chrono::milliseconds fraction_{};
  std::chrono::steady_clock::duration steady_{};
};

}  // namespace larkspan::test
