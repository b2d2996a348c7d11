#pragma once

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "tests/support/loopback_port.h"

namespace larkspan::test {

// Polls `fd` for `events` for at most a moment before `deadline`, so that a
// wait sees the server's stop flag often; the revents, 0 when none came.
inline short PollSlice(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  pollfd p{fd, events, 0};
  const auto wait = std::clamp(left, {}, std::chrono::milliseconds(20));
  return ::poll(&p, 1, static_cast<int>(wait.count())) > 0 ? p.revents : 0;
}

// One accepted connection of a ScriptedTcpServer, as its script sees it.
// Every wait is bounded by its time-out and ends at once when the server
// stops. Everything received is kept for the test to inspect.
class ScriptedTcpConnection {
 public:
  ScriptedTcpConnection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
  ~ScriptedTcpConnection() { close(); }
  ScriptedTcpConnection(const ScriptedTcpConnection&) = delete;
  ScriptedTcpConnection& operator=(const ScriptedTcpConnection&) = delete;

  // Waits until `text` has arrived after what earlier reads consumed and
  // consumes up to its end. False on time-out or when the peer closed first.
  bool readUntil(std::string_view text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
      const std::lock_guard lock(mutex_);
      if (const auto at = received_.find(text, consumed_); at != std::string::npos) {
        consumed_ = at + text.size();
        return true;
      }
    } while (receiveSome(deadline));
    return false;
  }
  // Receives until the peer closes; false when the time-out passes first.
  bool readToEnd(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (receiveSome(deadline)) {
    }
    const std::lock_guard lock(mutex_);
    return peerClosed_;
  }

  // Sends until the peer goes away or the server stops; the bytes sent.
  std::size_t send(std::string_view bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size() && !stopping_.load()) {
      const ssize_t n =
          ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0)
        sent += static_cast<std::size_t>(n);
      else if (n < 0 && (errno == EAGAIN || errno == EINTR))
        PollSlice(fd_, POLLOUT, std::chrono::steady_clock::now() + std::chrono::seconds(1));
      else
        break;
    }
    return sent;
  }
  // Closes the connection in the ordinary way.
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Closes it with a reset, so that the peer's next read fails.
  void reset() {
    const linger abort{1, 0};
    if (fd_ >= 0) ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close();
  }

  // Everything received so far.
  std::string received() const {
    const std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  // Receives once, waiting at most until `deadline`. False on time-out, stop
  // or close.
  bool receiveSome(std::chrono::steady_clock::time_point deadline) {
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
      if (std::chrono::steady_clock::now() >= deadline) return false;
    }
    return false;
  }

  int fd_;
  const std::atomic<bool>& stopping_;
  mutable std::mutex mutex_;
  std::string received_;
  bool peerClosed_ = false;
  std::size_t consumed_ = 0;  // only the script's thread touches it
};

// A TCP server on 127.0.0.1 at a port of the kernel's choice that plays a
// script on each connection it accepts, each on a thread of its own, for
// the failures a real server will not produce on demand. The connection is
// closed when its script returns.
class ScriptedTcpServer {
 public:
  using Script = std::function<void(ScriptedTcpConnection&)>;

  explicit ScriptedTcpServer(Script script) : script_(std::move(script)) {
    listener_ = BindLoopback(port_, true);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  // Stops accepting, cuts the scripts' waits short and waits for them.
  ~ScriptedTcpServer() {
    stopping_.store(true);
    acceptor_.join();
    // No new script starts once the accept loop has ended.
    for (auto& script : scripts_) script.join();
    ::close(listener_);
  }
  ScriptedTcpServer(const ScriptedTcpServer&) = delete;
  ScriptedTcpServer& operator=(const ScriptedTcpServer&) = delete;

  std::uint16_t port() const { return port_; }

  std::size_t connectionCount() const {
    const std::lock_guard lock(mutex_);
    return connections_.size();
  }
  // The bytes received on each connection so far, in the order accepted.
  std::vector<std::string> received() const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> bytes;
    for (const auto& connection : connections_) bytes.push_back(connection->received());
    return bytes;
  }
  // Waits until the scripts of the first `count` connections have returned.
  bool waitForFinishedScripts(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return scriptFinished_.wait_for(lock, timeout, [&] {
      return done_.size() >= count &&
             std::all_of(done_.begin(), done_.begin() + static_cast<std::ptrdiff_t>(count),
                         [](bool done) { return done; });
    });
  }

 private:
  void acceptLoop() {
    while (!stopping_.load()) {
      if (PollSlice(listener_, POLLIN,
                    std::chrono::steady_clock::now() + std::chrono::seconds(1)) == 0)
        continue;
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

  Script script_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable scriptFinished_;
  std::vector<std::shared_ptr<ScriptedTcpConnection>> connections_;
  std::vector<bool> done_;
  std::vector<std::thread> scripts_;
  std::thread acceptor_;
};

}  // namespace larkspan::test
