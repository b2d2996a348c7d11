#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/scripted_tcp_server.h"

namespace larkspan::test {

// The deterministic byte sequence the server streams: byte `offset` of it.
// Every byte is 128 or more, so that a recording takes it for audio.
std::uint8_t StreamByte(std::uint64_t offset);
std::string StreamBytes(std::uint64_t offset, std::size_t count);

// One reply of the scripted server: raw head bytes, then a body, sent as the
// fields say. Build them with the named constructors.
struct ScriptedReply {
  std::string head;  // sent as it is (status line, header lines, empty line)
  std::string body;  // fixed body bytes, sent after the head
  // A generated body of StreamBytes(streamOffset, streamLength) after `body`.
  bool streamBody = false;
  std::uint64_t streamOffset = 0;
  std::uint64_t streamLength = std::numeric_limits<std::uint64_t>::max();
  // Pace of the body in bytes per second; 0 sends as fast as possible.
  std::size_t bytesPerSecond = 0;
  // Body sent in chunked transfer coding, this many bytes a chunk.
  std::size_t chunkSize = 0;
  // Stop after this many bytes in all (head included).
  std::optional<std::size_t> closeAfter;
  // After sending, keep the connection open and silent until the server stops.
  bool stall = false;
  // Close with a reset instead of an orderly end.
  bool reset = false;

  static ScriptedReply Ok(std::string body, bool withContentLength = false);
  // "HTTP/1.0 200 OK" and the stream from `offset`, `length` bytes at `rate`.
  static ScriptedReply Stream(std::uint64_t offset = 0,
                              std::uint64_t length = std::numeric_limits<std::uint64_t>::max(),
                              std::size_t bytesPerSecond = 0);
  // "ICY 200 OK", the given header lines (CR LF added), an empty line, then
  // `audio`.
  static ScriptedReply Icy(const std::vector<std::string>& headerLines, std::string audio);
  // A redirect with "Location: {target}" when a target is given.
  static ScriptedReply Redirect(int code, std::optional<std::string> target);
  static ScriptedReply NotFound();
  static ScriptedReply Chunked(std::string body, std::size_t chunkSize);
  // Reads the request and never answers.
  static ScriptedReply Stall();
  // Sends `bytes` and closes.
  static ScriptedReply Raw(std::string bytes);
  // `count` pseudo-random bytes from `seed`, then the end.
  static ScriptedReply Garbage(std::size_t count, std::uint32_t seed);
};

// An HTTP server on 127.0.0.1 with an ephemeral port, answering each
// connection with the next scripted reply. It records every request's exact
// bytes. Each connection runs on a thread of its own, so a stalled reply does
// not hold up the others; the destructor ends them all.
class ScriptedHttpServer {
 public:
  using Handler = std::function<ScriptedReply(const std::string& request)>;

  ScriptedHttpServer();
  ~ScriptedHttpServer();
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  std::uint16_t port() const { return server_.port(); }
  // "http://127.0.0.1:{port}{path}"
  std::string url(std::string_view path = "/") const;

  // Replies in order of connection; when the queue is empty, the handler's
  // reply, or the default reply (404) when there is no handler.
  void enqueue(ScriptedReply reply);
  void setHandler(Handler handler);

  // The requests received so far, each exactly as it arrived.
  std::vector<std::string> requests() const;
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Body bytes of streamed replies that were handed to the kernel in all.
  std::uint64_t streamBytesSent() const;

 private:
  void serve(ScriptedTcpConnection& connection);
  ScriptedReply nextReply(const std::string& request);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<ScriptedReply> queue_;
  Handler handler_;
  std::vector<std::string> requests_;
  std::uint64_t streamBytesSent_ = 0;
  // Last, so that its connections end before anything they use goes.
  ScriptedTcpServer server_;
};

// A loopback port where nothing listens, so that connecting is refused.
std::uint16_t RefusingPort();

}  // namespace larkspan::test
