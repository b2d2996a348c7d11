#include "platform/stop_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace larkspan::platform {

StopSignal::~StopSignal() {
  if (const int fd = descriptor_.load(); fd >= 0) ::close(fd);
}

void StopSignal::store(bool stop, std::memory_order /*order*/) {
  flag_.store(stop);
  const int fd = descriptor_.load();
  if (fd < 0) return;
  eventfd_t count = 0;
  if (stop)
    ::eventfd_write(fd, 1);
  else
    ::eventfd_read(fd, &count);
}

int StopSignal::descriptor() const {
  int fd = descriptor_.load();
  if (fd != kNotMade) return fd;
  const int made = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  fd = made >= 0 ? made : kNone;
  int expected = kNotMade;
  if (!descriptor_.compare_exchange_strong(expected, fd)) {
    if (made >= 0) ::close(made);
    return expected;
  }
  // A stop stored before the descriptor was published did not signal it;
  // the flag, read after publishing, shows that stop. Every access being
  // sequentially consistent, one of the two sides always sees the other.
  if (fd >= 0 && flag_.load()) ::eventfd_write(fd, 1);
  return fd;
}

}  // namespace larkspan::platform
