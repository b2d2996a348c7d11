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
  // When it becomes true, a waiting connect, read or write fails: at once
  // when `cancelEvent` is given, within 200 ms otherwise.
  const std::atomic<bool>* cancel = nullptr;
  // A descriptor that is readable while `cancel` is true (a StopSignal's),
  // polled beside the socket, so that a wait needs no wake-ups to look at
  // the flag.
  int cancelEvent = -1;
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

  // Never reads a socket that its last read left empty before a wait has
  // seen data arrive. Below a low-water mark a stop ends it once the bytes
  // that had arrived are taken.
  std::size_t readSome(char* buffer, std::size_t max) override;
  void writeAll(std::string_view data) override;
  void setReadLowWater(std::size_t bytes) override;

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
  // One receive, as recv() answers it, for readSome() and for the layered
  // protocol's reads. None (-1 with errno EAGAIN) when the last one found
  // the socket empty (it got less than it asked for) and no wait has seen
  // data since, and none past what had arrived when a stop came.
  long receive(char* buffer, std::size_t max);
  // Waits until `events` (POLLIN, POLLOUT) are ready; throws NetworkError
  // "{what} timed out" after `timeout`, and at once when cancelled.
  void waitFor(short events, std::chrono::milliseconds timeout, const char* what);
  // The same with a deadline; false when it passes.
  bool waitUntil(short events, std::chrono::steady_clock::time_point deadline);

 private:
  SocketStream(int fd, SocketOptions options) : fd_(fd), options_(options) {}

  short poll(short events, std::chrono::steady_clock::time_point deadline);

  int fd_;
  SocketOptions options_;
  bool drained_ = false;
  bool lowWater_ = false;
  // A wait below the mark has seen the stop; this many bytes had arrived.
  bool stopSeen_ = false;
  std::size_t afterStop_ = 0;
};

}  // namespace larkspan::platform
