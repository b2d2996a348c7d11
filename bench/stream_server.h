#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace larkspan::bench {

// Fills `out` with `count` bytes of stream `id`, starting at `offset`.
using StreamContent =
    std::function<void(std::uint32_t id, std::uint64_t offset, char* out, std::size_t count)>;

struct StreamServerOptions {
  // 0: as fast as the client takes it.
  std::size_t bytesPerSecond = 0;
  // A paced stream gets one send per interval, as a radio server sends
  // whatever its source delivered since the last one.
  std::chrono::milliseconds sendInterval{100};
  // Each stream ends (the server closes) after this many body bytes.
  std::uint64_t bytesPerStream = 0;
  StreamContent content;
  // When given (a PEM file holding the certificate and then its key), the
  // server speaks TLS on every connection, with non-blocking OpenSSL.
  std::filesystem::path tlsCertificate;
};

// A small epoll server on 127.0.0.1 for load: one thread serves every
// connection, TLS included, so the benchmark measures the clients, not the
// server's own threads. GET /s/{id} streams `id` once, "HTTP/1.0 200 OK" and the body;
// any later request for the same id, or another path, gets a 404 page (a
// reconnecting recorder finds the stream gone).
class StreamServer {
 public:
  explicit StreamServer(StreamServerOptions options);
  ~StreamServer();
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "http://127.0.0.1:{port}/s/" ("https://" with TLS): append the id.
  std::string baseUrl() const;

  // Forgets every stream, so that the next client gets them all again.
  void reset();
  // Streams begun and streams whose every byte went out since the reset.
  std::size_t streamsBegun() const;
  std::size_t streamsCompleted() const;

 private:
  struct Connection;

  void loop();
  void accept();
  void onReadable(Connection& c);
  void begin(Connection& c, const std::string& path);
  // Sends what is due; false when the connection is done and must go.
  bool pump(Connection& c, std::chrono::steady_clock::time_point now);
  // Reads what the client sent, through TLS when on: the count, 0 when it
  // went away, -1 when there is nothing yet.
  long receive(Connection& c, char* buffer, std::size_t max);
  // Sends through TLS when on, as send(2) does: the count, -1 when it would
  // block (errno EAGAIN) or failed.
  long transmit(Connection& c, const char* data, std::size_t count);
  void close(int fd);

  StreamServerOptions options_;
  struct ContextFree {
    void operator()(ssl_ctx_st* context) const;
  };
  std::unique_ptr<ssl_ctx_st, ContextFree> tls_;  // none for plain HTTP
  int listenFd_ = -1;
  int epollFd_ = -1;
  int wakeFd_ = -1;
  std::uint16_t port_ = 0;
  std::vector<std::unique_ptr<Connection>> connections_;  // by descriptor
  std::vector<char> scratch_;

  mutable std::mutex mutex_;
  std::vector<bool> begun_;  // by stream id
  std::size_t begunCount_ = 0;
  std::size_t completedCount_ = 0;

  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace larkspan::bench
