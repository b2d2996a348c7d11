#include "tests/support/scripted_tcp_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tests/support/loopback_port.h"

namespace larkspan::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How often a wait looks at the server's stop flag.
constexpr std::chrono::milliseconds kSlice{20};

// Polls `fd` for `events` for at most one slice before `deadline`; the
// revents, or 0 when nothing happened.
short PollSlice(int fd, short events, SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  pollfd p{fd, events, 0};
  if (::poll(&p, 1, static_cast<int>(std::clamp(left, {}, kSlice).count())) <= 0) return 0;
  return p.revents;
}

}  // namespace

ScriptedTcpConnection::ScriptedTcpConnection(int fd, const std::atomic<bool>& stopping)
    : fd_(fd), stopping_(stopping) {}

ScriptedTcpConnection::~ScriptedTcpConnection() {
  close();
}

bool ScriptedTcpConnection::receiveSome(SteadyClock::time_point deadline) {
  while (!stopping_.load() && fd_ >= 0) {
    if (PollSlice(fd_, POLLIN, deadline) != 0) {
      char buffer[4096];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      const std::lock_guard lock(mutex_);
      if (n > 0) received_.append(buffer, static_cast<std::size_t>(n));
      peerClosed_ = n <= 0;
      return n > 0;
    }
    if (SteadyClock::now() >= deadline) return false;
  }
  return false;
}

bool ScriptedTcpConnection::readUntil(std::string_view text, std::chrono::milliseconds timeout) {
  const auto deadline = SteadyClock::now() + timeout;
  for (;;) {
    {
      const std::lock_guard lock(mutex_);
      if (const auto at = received_.find(text, consumed_); at != std::string::npos) {
        consumed_ = at + text.size();
        return true;
      }
    }
    if (!receiveSome(deadline)) return false;
  }
}

bool ScriptedTcpConnection::readToEnd(std::chrono::milliseconds timeout) {
  const auto deadline = SteadyClock::now() + timeout;
  while (receiveSome(deadline)) {
  }
  const std::lock_guard lock(mutex_);
  return peerClosed_;
}

std::size_t ScriptedTcpConnection::send(std::string_view bytes) {
  std::size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size() && !stopping_.load()) {
    const ssize_t n =
        ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0)
      sent += static_cast<std::size_t>(n);
    else if (n < 0 && (errno == EAGAIN || errno == EINTR))
      PollSlice(fd_, POLLOUT, SteadyClock::now() + kSlice);
    else
      break;
  }
  return sent;
}

void ScriptedTcpConnection::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void ScriptedTcpConnection::reset() {
  if (fd_ < 0) return;
  const linger abort{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close();
}

std::string ScriptedTcpConnection::received() const {
  const std::lock_guard lock(mutex_);
  return received_;
}

ScriptedTcpServer::ScriptedTcpServer(Script script) : script_(std::move(script)) {
  listener_ = ListenOnLoopback(port_);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedTcpServer::~ScriptedTcpServer() {
  stopping_.store(true);
  acceptor_.join();
  // No new script starts once the accept loop has ended.
  for (auto& script : scripts_) script.join();
  ::close(listener_);
}

void ScriptedTcpServer::acceptLoop() {
  while (!stopping_.load()) {
    if (PollSlice(listener_, POLLIN, SteadyClock::now() + kSlice) == 0) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const std::lock_guard lock(mutex_);
    auto connection = std::make_shared<ScriptedTcpConnection>(fd, stopping_);
    connections_.push_back(connection);
    done_.push_back(false);
    scripts_.emplace_back([this, connection, index = done_.size() - 1] {
      try {
        script_(*connection);
      } catch (...) {
        // A script that throws ends its connection like one that returns.
      }
      connection->close();
      const std::lock_guard done(mutex_);
      done_[index] = true;
      scriptFinished_.notify_all();
    });
  }
}

std::size_t ScriptedTcpServer::connectionCount() const {
  const std::lock_guard lock(mutex_);
  return connections_.size();
}

std::vector<std::string> ScriptedTcpServer::received() const {
  const std::lock_guard lock(mutex_);
  std::vector<std::string> bytes;
  for (const auto& connection : connections_) bytes.push_back(connection->received());
  return bytes;
}

bool ScriptedTcpServer::waitForFinishedScripts(std::size_t count,
                                               std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return scriptFinished_.wait_for(lock, timeout, [&] {
    return done_.size() >= count && std::count(done_.begin(), done_.begin() + count, true) ==
                                        static_cast<std::ptrdiff_t>(count);
  });
}

}  // namespace larkspan::test
