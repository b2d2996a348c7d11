#include "platform/socket_stream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/address_resolver.h"
#include "platform/network_error.h"

namespace larkspan::platform {
namespace {

// How often a wait looks at a cancel flag that comes without a descriptor.
constexpr std::chrono::milliseconds kCancelSlice{200};
// How long bytes below the read low-water mark may sit before they are read
// anyway: a slow stream is still recorded as it comes, and its time-out
// still counts from about its last byte.
constexpr std::chrono::milliseconds kLowWaterSlice{1000};

using SteadyClock = std::chrono::steady_clock;

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_acquire);
}

std::size_t QueuedBytes(int fd) {
  int queued = 0;
  return ::ioctl(fd, FIONREAD, &queued) == 0 && queued > 0 ? static_cast<std::size_t>(queued) : 0;
}

constexpr int kCancelled = -1;

// Polls `fd` for `events` until `deadline`, beside the cancel descriptor, or
// in slices that look at the cancel flag when there is none. With `lowWater`
// (a read below the socket's low-water mark), bytes that have arrived count
// as readable at every slice's end and at the deadline. Returns the revents,
// 0 on time-out, kCancelled when cancelled.
int PollUntil(int fd, short events, SteadyClock::time_point deadline, const SocketOptions& options,
              bool lowWater) {
  const bool sliced = options.cancel != nullptr && options.cancelEvent < 0;
  // Also a stop that came before the descriptor was made.
  if (Cancelled(options.cancel)) return kCancelled;
  for (;;) {
    const auto now = SteadyClock::now();
    if (now >= deadline) return lowWater && QueuedBytes(fd) > 0 ? POLLIN : 0;
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    if (sliced) wait = std::min(wait, kCancelSlice);
    if (lowWater) wait = std::min(wait, kLowWaterSlice);
    pollfd p[2] = {{fd, events, 0}, {options.cancelEvent, POLLIN, 0}};
    const nfds_t count = options.cancelEvent >= 0 ? 2 : 1;
    const int r = ::poll(p, count, static_cast<int>(wait.count()));
    if (r < 0) {
      if (errno == EINTR) continue;
      throw NetworkError(std::string("poll: ") + std::strerror(errno));
    }
    if (count == 2 && p[1].revents != 0) return kCancelled;
    if (p[0].revents != 0) return p[0].revents;
    if (sliced && Cancelled(options.cancel)) return kCancelled;
    if (lowWater && QueuedBytes(fd) > 0) return POLLIN;
  }
}

}  // namespace

std::unique_ptr<SocketStream> SocketStream::connect(const std::string& host, std::uint16_t port,
                                                    const SocketOptions& options) {
  // The time-out covers the name look-up and the connect together.
  const auto deadline = SteadyClock::now() + options.connectTimeout;
  const AddressList addresses = ResolveStreamAddresses(host, port, deadline, options.cancel);
  const std::string service = std::to_string(port);
  std::string failure = "no address";
  for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
    const int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      const int error = errno;
      // Without a descriptor no other address does better; the caller says so.
      if (IsOutOfDescriptors(error)) {
        throw NetworkError(std::string("cannot make a socket: ") + std::strerror(error), error);
      }
      failure = std::strerror(error);
      continue;
    }
    std::unique_ptr<SocketStream> stream(new SocketStream(fd, options));
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) return stream;
    if (errno != EINPROGRESS) {
      failure = std::strerror(errno);
      continue;
    }
    const int ready = PollUntil(fd, POLLOUT, deadline, options, false);
    if (ready == kCancelled) throw NetworkError("cancelled");
    if (ready == 0) {
      failure = "connect timed out";
      continue;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) return stream;
    failure = std::strerror(error != 0 ? error : errno);
  }
  throw NetworkError("cannot connect to " + host + ":" + service + ": " + failure);
}

SocketStream::~SocketStream() {
  if (fd_ >= 0) ::close(fd_);
}

short SocketStream::poll(short events, SteadyClock::time_point deadline) {
  const bool belowMark = lowWater_ && events == POLLIN;
  int revents =
      belowMark && stopSeen_ ? kCancelled : PollUntil(fd_, events, deadline, options_, belowMark);
  if (revents == kCancelled) {
    // Below the mark, the bytes that had arrived when the stop came are
    // handed out first, once: woken at every packet, the reader would have
    // taken them already.
    if (!belowMark || stopSeen_) throw NetworkError("cancelled");
    stopSeen_ = true;
    afterStop_ = QueuedBytes(fd_);
    if (afterStop_ == 0) throw NetworkError("cancelled");
    revents = POLLIN;
  }
  // Whatever the poll saw (data, the end, a failure), a read now finds it.
  if (revents != 0 && (events & POLLIN) != 0) drained_ = false;
  return static_cast<short>(revents);
}

void SocketStream::waitFor(short events, std::chrono::milliseconds timeout, const char* what) {
  if (poll(events, SteadyClock::now() + timeout) == 0) {
    throw NetworkError(std::string(what) + " timed out");
  }
}

bool SocketStream::waitUntil(short events, SteadyClock::time_point deadline) {
  return poll(events, deadline) != 0;
}

bool SocketStream::waitReadable(std::chrono::milliseconds timeout) {
  return waitUntil(POLLIN, SteadyClock::now() + timeout);
}

bool SocketStream::peerClosed() const {
  pollfd p{fd_, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

long SocketStream::receive(char* buffer, std::size_t max) {
  if (stopSeen_) max = std::min(max, afterStop_);
  if (drained_ || (stopSeen_ && max == 0)) {
    errno = EAGAIN;
    return -1;
  }
  const ssize_t n = ::recv(fd_, buffer, max, 0);
  if (n >= 0) {
    // A short read took all there was.
    drained_ = static_cast<std::size_t>(n) < max;
    if (stopSeen_) afterStop_ -= static_cast<std::size_t>(n);
  } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
    drained_ = true;
  }
  return static_cast<long>(n);
}

std::size_t SocketStream::readSome(char* buffer, std::size_t max) {
  if (max == 0) return 0;
  for (;;) {
    const long n = receive(buffer, max);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      throw NetworkError(std::string("receive failed: ") + std::strerror(errno));
    }
    waitFor(POLLIN, options_.ioTimeout, "read");
  }
}

void SocketStream::setReadLowWater(std::size_t bytes) {
  const int mark = static_cast<int>(std::min<std::size_t>(bytes, 1 << 20));
  // Where the system refuses it, every packet wakes the reader as before.
  lowWater_ = mark > 1 && ::setsockopt(fd_, SOL_SOCKET, SO_RCVLOWAT, &mark, sizeof mark) == 0;
}

void SocketStream::writeAll(std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      waitFor(POLLOUT, options_.ioTimeout, "send");
      continue;
    }
    throw NetworkError(std::string("send failed: ") + std::strerror(errno));
  }
}

}  // namespace larkspan::platform
