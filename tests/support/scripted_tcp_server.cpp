#include "tests/support/scripted_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace larkspan::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How often a wait looks at the server's stop flag.
constexpr std::chrono::milliseconds kSlice{50};

// Polls `fd` for `events` for at most one slice before `deadline`; the
// revents, or 0 when nothing happened.
short PollSlice(int fd, short events, SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  const auto wait = std::clamp(left, std::chrono::milliseconds(0), kSlice);
  pollfd p{fd, events, 0};
  if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return 0;
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
      if (n <= 0) {
        peerClosed_ = true;
        return false;
      }
      received_.append(buffer, static_cast<std::size_t>(n));
      return true;
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

std::optional<std::string> ScriptedTcpConnection::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = SteadyClock::now() + timeout;
  for (;;) {
    {
      const std::lock_guard lock(mutex_);
      if (const auto end = received_.find('\n', consumed_); end != std::string::npos) {
        std::string line = received_.substr(consumed_, end + 1 - consumed_);
        consumed_ = end + 1;
        return line;
      }
    }
    if (!receiveSome(deadline)) return std::nullopt;
  }
}

bool ScriptedTcpConnection::readToEnd(std::chrono::milliseconds timeout) {
  const auto deadline = SteadyClock::now() + timeout;
  while (receiveSome(deadline)) {
  }
  return peerClosed();
}

void ScriptedTcpConnection::send(std::string_view bytes) {
  while (fd_ >= 0 && !bytes.empty()) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
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

bool ScriptedTcpConnection::peerClosed() const {
  const std::lock_guard lock(mutex_);
  return peerClosed_;
}

ScriptedTcpServer::ScriptedTcpServer(Script script) : script_(std::move(script)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("cannot create the listening socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener_);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedTcpServer::~ScriptedTcpServer() {
  stopping_.store(true);
  acceptor_.join();
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
    const std::size_t index = connections_.size();
    connections_.push_back(connection);
    finished_.push_back(false);
    scripts_.emplace_back([this, connection, index] {
      try {
        script_(*connection);
      } catch (...) {
        // A script that throws ends its connection like one that returns.
      }
      connection->close();
      const std::lock_guard done(mutex_);
      finished_[index] = true;
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
    return finished_.size() >= count &&
           std::all_of(finished_.begin(), finished_.begin() + static_cast<std::ptrdiff_t>(count),
                       [](bool done) { return done; });
  });
}

}  // namespace larkspan::test
