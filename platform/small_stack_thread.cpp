#include "platform/small_stack_thread.h"

#include <utility>

#include "platform/posix_object.h"

namespace larkspan::platform {
namespace {

void* RunBody(void* argument) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return nullptr;
}

using ThreadAttributes = PosixObject<pthread_attr_t, pthread_attr_init, pthread_attr_destroy>;

}  // namespace

SmallStackThread::SmallStackThread(SmallStackThread&& other) noexcept
    : thread_(other.thread_), started_(std::exchange(other.started_, false)) {}

SmallStackThread& SmallStackThread::operator=(SmallStackThread&& other) noexcept {
  if (this != &other) {
    if (started_) detach();
    thread_ = other.thread_;
    started_ = std::exchange(other.started_, false);
  }
  return *this;
}

SmallStackThread::~SmallStackThread() {
  if (started_) detach();
}

bool SmallStackThread::start(std::function<void()> body, std::size_t stackSize) {
  if (started_) return false;
  ThreadAttributes attributes;
  if (!attributes.ok() || pthread_attr_setstacksize(attributes.get(), stackSize) != 0) return false;
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  if (pthread_create(&thread_, attributes.get(), RunBody, owned.get()) != 0) return false;
  (void)owned.release();  // the thread owns it now
  started_ = true;
  return true;
}

void SmallStackThread::join() {
  if (!started_) return;
  pthread_join(thread_, nullptr);
  started_ = false;
}

void SmallStackThread::detach() {
  if (!started_) return;
  pthread_detach(thread_);
  started_ = false;
}

}  // namespace larkspan::platform
