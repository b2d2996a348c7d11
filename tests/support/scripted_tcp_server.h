#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace larkspan::test {

// One accepted connection of a ScriptedTcpServer, as its script sees it.
// Every wait is bounded by its time-out and ends at once when the server
// stops. Everything received is kept for the test to inspect.
class ScriptedTcpConnection {
 public:
  ScriptedTcpConnection(int fd, const std::atomic<bool>& stopping);
  ~ScriptedTcpConnection();
  ScriptedTcpConnection(const ScriptedTcpConnection&) = delete;
  ScriptedTcpConnection& operator=(const ScriptedTcpConnection&) = delete;

  // Waits until `text` has arrived after what earlier reads consumed and
  // consumes up to its end. False on time-out or when the peer closed first.
  bool readUntil(std::string_view text, std::chrono::milliseconds timeout);
  // Receives until the peer closes; false when the time-out passes first.
  bool readToEnd(std::chrono::milliseconds timeout);

  // Sends until the peer goes away or the server stops; the bytes sent.
  std::size_t send(std::string_view bytes);
  // Closes the connection in the ordinary way.
  void close();
  // Closes it with a reset, so that the peer's next read fails.
  void reset();

  // Everything received so far.
  std::string received() const;

 private:
  // Receives once, waiting at most until `deadline`. False on time-out, stop
  // or close.
  bool receiveSome(std::chrono::steady_clock::time_point deadline);

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

  explicit ScriptedTcpServer(Script script);
  // Stops accepting, cuts the scripts' waits short and waits for them.
  ~ScriptedTcpServer();
  ScriptedTcpServer(const ScriptedTcpServer&) = delete;
  ScriptedTcpServer& operator=(const ScriptedTcpServer&) = delete;

  std::uint16_t port() const { return port_; }

  std::size_t connectionCount() const;
  // The bytes received on each connection so far, in the order accepted.
  std::vector<std::string> received() const;
  // Waits until the scripts of the first `count` connections have returned.
  bool waitForFinishedScripts(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  void acceptLoop();

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
