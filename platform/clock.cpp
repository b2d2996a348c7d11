#include "platform/clock.h"

#include <ctime>
#include <thread>

namespace larkspan::platform {

LocalTime ToLocalTime(std::int64_t epochSeconds) {
  const auto t = static_cast<std::time_t>(epochSeconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  LocalTime local;
  local.year = tm.tm_year + 1900;
  local.month = tm.tm_mon + 1;
  local.day = tm.tm_mday;
  local.hour = tm.tm_hour;
  local.minute = tm.tm_min;
  local.second = tm.tm_sec;
  local.weekday = tm.tm_wday;
  local.epochSeconds = epochSeconds;
  return local;
}

LocalTime SystemClock::localNow() {
  const auto now = std::chrono::system_clock::now();
  return ToLocalTime(
      std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count());
}

std::chrono::steady_clock::time_point SystemClock::steadyNow() {
  return std::chrono::steady_clock::now();
}

bool SystemClock::sleepFor(std::chrono::milliseconds duration, const std::atomic<bool>* stop) {
  // The stop flag is a plain atomic that its owner sets without notifying
  // anyone, so it is looked at in short slices. sleep_for is used rather than
  // an absolute monotonic wait because it also works under libfaketime.
  constexpr std::chrono::milliseconds kSlice{50};
  const auto end = std::chrono::steady_clock::now() + duration;
  for (;;) {
    if (stop && stop->load(std::memory_order_acquire)) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, kSlice));
  }
}

}  // namespace larkspan::platform
