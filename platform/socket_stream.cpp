#include "platform/socket_stream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/address_resolver.h"
#include "platform/network_error.h"

namespace larkspan::platform {
namespace {

// How often a wait looks at the cancel flag.
constexpr std::chrono::milliseconds kCancelSlice{200};

using SteadyClock = std::chrono::steady_clock;

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_acquire);
}

// Polls `fd` for `events` until `deadline`, in slices that look at `cancel`.
// Returns the revents, 0 on time-out; throws when cancelled.
short PollUntil(int fd, short events, SteadyClock::time_point deadline,
                const std::atomic<bool>* cancel) {
  for (;;) {
    if (Cancelled(cancel)) throw NetworkError("cancelled");
    const auto now = SteadyClock::now();
    if (now >= deadline) return 0;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    if (cancel != nullptr) wait = std::min(wait, kCancelSlice);
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::max<long long>(wait.count(), 1)));
    if (r < 0) {
      if (errno == EINTR) continue;
      throw NetworkError(std::string("poll: ") + std::strerror(errno));
    }
    if (r > 0) return p.revents;
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
    if (PollUntil(fd, POLLOUT, deadline, options.cancel) == 0) {
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

void SocketStream::waitFor(short events, std::chrono::milliseconds timeout, const char* what) {
  if (PollUntil(fd_, events, SteadyClock::now() + timeout, options_.cancel) == 0) {
    throw NetworkError(std::string(what) + " timed out");
  }
}

bool SocketStream::waitUntil(short events, SteadyClock::time_point deadline) {
  return PollUntil(fd_, events, deadline, options_.cancel) != 0;
}

bool SocketStream::waitReadable(std::chrono::milliseconds timeout) {
  return waitUntil(POLLIN, SteadyClock::now() + timeout);
}

bool SocketStream::peerClosed() const {
  pollfd p{fd_, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

std::size_t SocketStream::readSome(char* buffer, std::size_t max) {
  if (max == 0) return 0;
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, max, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      throw NetworkError(std::string("receive failed: ") + std::strerror(errno));
    }
    waitFor(POLLIN, options_.ioTimeout, "read");
  }
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
