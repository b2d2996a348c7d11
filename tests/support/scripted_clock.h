#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/clock.h"

namespace larkspan::test {

// A clock that tests set and advance. Sleeping advances it by the time slept
// at once (or stops short when the stop flag is set), so code that waits a
// second between attempts runs without waiting.
class ScriptedClock final : public platform::Clock {
 public:
  explicit ScriptedClock(std::int64_t epochSeconds = 0) { set(epochSeconds); }

  void set(std::int64_t epochSeconds) { wallMs_ = epochSeconds * 1000; }
  void advance(std::chrono::milliseconds by) {
    wallMs_ += by.count();
    steadyMs_ += by.count();
  }

  platform::LocalTime localNow() override { return platform::ToLocalTime(wallMs_ / 1000); }
  std::chrono::steady_clock::time_point steadyNow() override {
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(steadyMs_));
  }
  bool sleepFor(std::chrono::milliseconds duration, const std::atomic<bool>* stop) override {
    if (stop && stop->load(std::memory_order_acquire)) return false;
    // A moment of real time, so that a retry loop does not spin flat out.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    advance(duration);
    return true;
  }

 private:
  std::atomic<std::int64_t> wallMs_{0};
  std::atomic<std::int64_t> steadyMs_{0};
};

}  // namespace larkspan::test
