#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace larkspan::platform {

// A broken-down local time, as the schedule and the log lines read it.
struct LocalTime {
  int year = 1970;                // four digits
  int month = 1;                  // 1 to 12
  int day = 1;                    // day of the month, 1 to 31
  int hour = 0;                   // 0 to 23
  int minute = 0;                 // 0 to 59
  int second = 0;                 // 0 to 60
  int weekday = 4;                // 0 Sunday to 6 Saturday
  std::int64_t epochSeconds = 0;  // the same instant in seconds since 1970 (UTC)
};

// Time as the core reads it, so that tests can script it. All members may be
// called from any thread.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime localNow() = 0;
  virtual std::chrono::steady_clock::time_point steadyNow() = 0;
  // Sleeps for `duration`, returning early (false) as soon as `*stop` is true.
  // Returns true when the whole duration passed.
  virtual bool sleepFor(std::chrono::milliseconds duration,
                        const std::atomic<bool>* stop = nullptr) = 0;
};

class SystemClock final : public Clock {
 public:
  LocalTime localNow() override;
  std::chrono::steady_clock::time_point steadyNow() override;
  bool sleepFor(std::chrono::milliseconds duration, const std::atomic<bool>* stop) override;
};

// Converts seconds since 1970 to local time with localtime_r.
LocalTime ToLocalTime(std::int64_t epochSeconds);

}  // namespace larkspan::platform
