#pragma once

#include <deque>
#include <limits>
#include <random>
#include <sstream>

#include "tests/support/scripted_tcp_server.h"

namespace larkspan::test {

// The deterministic byte sequence the server streams: byte `offset` of it.
// Every byte is 128 or more, so that a recording takes it for audio. A
// long-period pattern, so that a doubled or missing run of bytes anywhere
// shows up when a file is compared with the sequence.
inline std::uint8_t StreamByte(std::uint64_t offset) {
  return static_cast<std::uint8_t>(0x80 | (((offset * 0x9E3779B97F4A7C15ull) >> 40) & 0x7F));
}
inline std::string StreamBytes(std::uint64_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(StreamByte(offset + i));
  return bytes;
}

// One reply of the scripted server: raw head bytes, then a body, sent as the
// fields say. Build them with the named constructors.
struct ScriptedReply {
  std::string head{};  // sent as it is (status line, header lines, empty line)
  std::string body{};  // fixed body bytes, sent after the head
  // A generated body of StreamBytes(streamOffset, streamLength) after `body`.
  bool streamBody = false;
  std::uint64_t streamOffset = 0;
  std::uint64_t streamLength = std::numeric_limits<std::uint64_t>::max();
  // Pace of the body in bytes per second; 0 sends as fast as possible.
  std::size_t bytesPerSecond = 0;
  // Body sent in chunked transfer coding, this many bytes a chunk.
  std::size_t chunkSize = 0;
  // Stop after this many bytes in all (head included).
  std::optional<std::size_t> closeAfter{};
  // After sending, keep the connection open and silent until the peer or
  // the server ends it.
  bool stall = false;

  static ScriptedReply Ok(std::string body, bool withContentLength = false) {
    return {.head = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n" +
                    (withContentLength ? "Content-Length: " + std::to_string(body.size()) + "\r\n"
                                       : "") +
                    "\r\n",
            .body = std::move(body)};
  }
  // "HTTP/1.0 200 OK" and the stream from `offset`, `length` bytes at `rate`.
  static ScriptedReply Stream(std::uint64_t offset = 0,
                              std::uint64_t length = std::numeric_limits<std::uint64_t>::max(),
                              std::size_t bytesPerSecond = 0) {
    return {.head = Ok("").head,
            .streamBody = true,
            .streamOffset = offset,
            .streamLength = length,
            .bytesPerSecond = bytesPerSecond};
  }
  // "ICY 200 OK", the given header lines (CR LF added), an empty line, then
  // `audio`.
  static ScriptedReply Icy(const std::vector<std::string>& headerLines, std::string audio) {
    ScriptedReply r{.head = "ICY 200 OK\r\n", .body = std::move(audio)};
    for (const auto& line : headerLines) r.head += line + "\r\n";
    r.head += "\r\n";
    return r;
  }
  // A redirect with "Location: {target}" when a target is given.
  static ScriptedReply Redirect(int code, std::optional<std::string> target) {
    const char* reason = code == 301   ? "Moved Permanently"
                         : code == 302 ? "Found"
                         : code == 303 ? "See Other"
                                       : "Temporary Redirect";
    return Raw("HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n" +
               (target ? "Location: " + *target + "\r\n" : "") + "Content-Length: 0\r\n\r\n");
  }
  static ScriptedReply NotFound() {
    const std::string page =
        "<html><head><title>404 Not Found</title></head><body>Not Found</body></html>";
    return {.head = "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                    std::to_string(page.size()) + "\r\n\r\n",
            .body = page};
  }
  static ScriptedReply Chunked(std::string body, std::size_t chunkSize) {
    return {.head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
            .body = std::move(body),
            .chunkSize = std::max<std::size_t>(chunkSize, 1)};
  }
  // Reads the request and never answers.
  static ScriptedReply Stall() { return {.stall = true}; }
  // Sends `bytes` and closes.
  static ScriptedReply Raw(std::string bytes) { return {.head = std::move(bytes)}; }
  // `count` pseudo-random bytes from `seed`, then the end.
  static ScriptedReply Garbage(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (auto& b : bytes) b = static_cast<char>(random() & 0xFF);
    return Raw(std::move(bytes));
  }
};

// An HTTP server on 127.0.0.1 with an ephemeral port, answering each
// connection with the next scripted reply. It records every request's exact
// bytes. Each connection runs on a thread of its own, so a stalled reply does
// not hold up the others; the destructor ends them all.
class ScriptedHttpServer {
 public:
  using Handler = std::function<ScriptedReply(const std::string& request)>;

  ScriptedHttpServer() : server_([this](ScriptedTcpConnection& c) { serve(c); }) {}
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  std::uint16_t port() const { return server_.port(); }
  // "http://127.0.0.1:{port}{path}"
  std::string url(std::string_view path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port()) + std::string(path);
  }

  // Replies in order of connection; when the queue is empty, the handler's
  // reply, or the default reply (404) when there is no handler.
  void enqueue(ScriptedReply reply) {
    const std::lock_guard lock(mutex_);
    queue_.push_back(std::move(reply));
  }
  void setHandler(Handler handler) {
    const std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
  }

  // The requests received so far, each exactly as it arrived.
  std::vector<std::string> requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
  }
  // Body bytes of streamed replies that were handed to the kernel in all.
  std::uint64_t streamBytesSent() const {
    const std::lock_guard lock(mutex_);
    return streamBytesSent_;
  }

 private:
  ScriptedReply nextReply(const std::string& request) {
    std::unique_lock lock(mutex_);
    if (queue_.empty()) {
      const Handler handler = handler_;
      lock.unlock();
      return handler ? handler(request) : ScriptedReply::NotFound();
    }
    ScriptedReply reply = std::move(queue_.front());
    queue_.pop_front();
    return reply;
  }

  void serve(ScriptedTcpConnection& connection) {
    connection.readUntil("\r\n\r\n", std::chrono::seconds(5));
    const std::string request = connection.received();
    {
      const std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    changed_.notify_all();
    const ScriptedReply reply = nextReply(request);
    std::optional<std::size_t> budget = reply.closeAfter;
    // Sends `data` at `rate` bytes a second (0: at once), a fiftieth of a
    // second's worth at a time, while the budget lasts; true when all went.
    const auto sendAll = [&](std::string_view data, std::size_t rate = 0) {
      const std::size_t piece = rate == 0 ? data.size() : std::max<std::size_t>(1, rate / 50);
      for (std::size_t at = 0; at < data.size(); at += piece) {
        const std::size_t want = std::min(piece, data.size() - at);
        const std::size_t sent =
            connection.send(data.substr(at, budget.value_or(want) < want ? *budget : want));
        if (budget) *budget -= sent;
        if (sent < want) return false;
        if (rate != 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      return true;
    };
    bool more = sendAll(reply.head);
    for (std::size_t at = 0; more && reply.chunkSize > 0 && at < reply.body.size();
         at += reply.chunkSize) {
      const std::string_view piece = std::string_view(reply.body).substr(at, reply.chunkSize);
      const std::string size = (std::ostringstream() << std::hex << piece.size() << "\r\n").str();
      more = sendAll(size) && sendAll(piece, reply.bytesPerSecond) && sendAll("\r\n");
    }
    more = more &&
           (reply.chunkSize > 0 ? sendAll("0\r\n\r\n") : sendAll(reply.body, reply.bytesPerSecond));
    constexpr std::uint64_t kBlock = 16 * 1024;
    for (std::uint64_t at = 0; more && reply.streamBody && at < reply.streamLength; at += kBlock) {
      const std::string block =
          StreamBytes(reply.streamOffset + at, std::min(kBlock, reply.streamLength - at));
      more = sendAll(block, reply.bytesPerSecond);
      const std::lock_guard lock(mutex_);
      if (more) streamBytesSent_ += block.size();
    }
    if (reply.stall) connection.readToEnd(std::chrono::hours(1));
  }

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
inline std::uint16_t RefusingPort() {
  return FreeLoopbackPort();
}

}  // namespace larkspan::test
