#include "monitor/fetch_deadline.h"

#include <system_error>

namespace larkspan::monitor {

FetchDeadline::FetchDeadline(std::chrono::milliseconds after) {
  try {
    watch_ = std::jthread([this, after](std::stop_token stop) {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, stop, after, [] { return false; });
      if (!stop.stop_requested()) passed_.store(true, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    // No thread to be had (the recordings have taken them all): the fetch is
    // left with the time-outs of its single waits.
  }
}

FetchDeadline::~FetchDeadline() {
  if (!watch_.joinable()) return;
  watch_.request_stop();
  watch_.join();
}

}  // namespace larkspan::monitor
