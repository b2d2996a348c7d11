#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>
#include <memory>

namespace larkspan::platform {

// A thread with a small stack, so that thousands of recordings fit in memory
// (a default thread reserves 8 MiB of address space). Join it, or detach it,
// before it is destroyed; destroying a joinable thread detaches it.
class SmallStackThread {
 public:
  static constexpr std::size_t kDefaultStackSize = 256 * 1024;

  SmallStackThread() = default;
  SmallStackThread(SmallStackThread&& other) noexcept;
  SmallStackThread& operator=(SmallStackThread&& other) noexcept;
  SmallStackThread(const SmallStackThread&) = delete;
  SmallStackThread& operator=(const SmallStackThread&) = delete;
  ~SmallStackThread();

  // Starts `body` on a new thread; false when no thread could be made.
  bool start(std::function<void()> body, std::size_t stackSize = kDefaultStackSize);

  bool joinable() const { return started_; }
  void join();
  void detach();

 private:
  pthread_t thread_{};
  bool started_ = false;
};

}  // namespace larkspan::platform
