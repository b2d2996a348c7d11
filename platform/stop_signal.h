#pragma once

#include <atomic>

namespace larkspan::platform {

// A request to stop that a thread waiting on a socket sees at once: a flag,
// used like an atomic bool, and a descriptor that is readable while the flag
// is set, to poll beside the socket. One thread sets it; any thread reads it.
class StopSignal {
 public:
  StopSignal() = default;
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Every store is sequentially consistent, whatever order is asked for:
  // see descriptor().
  void store(bool stop, std::memory_order order = std::memory_order_seq_cst);
  bool load(std::memory_order order = std::memory_order_seq_cst) const { return flag_.load(order); }
  StopSignal& operator=(bool stop) {
    store(stop);
    return *this;
  }
  operator bool() const { return load(); }

  // For waits that can only look at a flag from time to time.
  const std::atomic<bool>* flag() const { return &flag_; }

  // The descriptor, made by the first call (a waiting thread's, so that
  // signals nobody waits on cost no descriptor); -1 when none could be made,
  // and then for good: waits look at the flag instead.
  int descriptor() const;

 private:
  static constexpr int kNone = -1;
  static constexpr int kNotMade = -2;

  std::atomic<bool> flag_{false};
  mutable std::atomic<int> descriptor_{kNotMade};
};

}  // namespace larkspan::platform
