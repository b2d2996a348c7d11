#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/byte_stream.h"

namespace larkspan::platform {

struct SocketOptions {
  std::chrono::milliseconds connectTimeout{10'000};
  // The longest wait for data (or for room to send) before the stream fails.
  std::chrono::milliseconds ioTimeout{20'000};
  // When it becomes true, a waiting connect, read or write fails at once.
  const std::atomic<bool>* cancel = nullptr;
};

// A TCP connection (IPv4 or IPv6) whose every wait is bounded by a time-out
// and cut short by the cancel flag. One thread may read while another writes
// (the two paths share only the descriptor); anything more needs the user's
// serialisation.
class SocketStream final : public ByteStream {
 public:
  // Resolves `host` and connects to the first address that answers. Throws
  // NetworkError when none does within the connect time-out.
  static std::unique_ptr<SocketStream> connect(const std::string& host, std::uint16_t port,
                                               const SocketOptions& options);
  ~SocketStream() override;
  SocketStream(const SocketStream&) = delete;
  SocketStream& operator=(const SocketStream&) = delete;

  std::size_t readSome(char* buffer, std::size_t max) override;
  void writeAll(std::string_view data) override;

  // Reads with a time-out of its own, returning false (nothing read) when it
  // passes instead of throwing.
  bool waitReadable(std::chrono::milliseconds timeout);

  // True when the peer has closed its end or the connection has failed, seen
  // without reading and without waiting. A write would still succeed once
  // after the peer's close, its bytes lost.
  bool peerClosed() const;

  // For a protocol layered on the connection (TLS), which does its own reads
  // and writes on the descriptor and waits through the two calls below.
  int descriptor() const { return fd_; }
  const SocketOptions& options() const { return options_; }
  // Waits until `events` (POLLIN, POLLOUT) are ready; throws NetworkError
  // "{what} timed out" after `timeout`, and at once when cancelled.
  void waitFor(short events, std::chrono::milliseconds timeout, const char* what);
  // The same with a deadline; false when it passes.
  bool waitUntil(short events, std::chrono::steady_clock::time_point deadline);

 private:
  SocketStream(int fd, SocketOptions options) : fd_(fd), options_(options) {}

  int fd_;
  SocketOptions options_;
};

}  // namespace larkspan::platform
