#include "tests/support/scripted_http_server.h"

#include <cstdio>
#include <map>
#include <random>
#include <thread>

#include "tests/support/loopback_port.h"

namespace larkspan::test {
namespace {

// How long a paced body waits between its pieces.
constexpr std::chrono::milliseconds kSlice{20};

}  // namespace

std::uint8_t StreamByte(std::uint64_t offset) {
  // A long-period pattern, so that a doubled or missing run of bytes anywhere
  // shows up when a file is compared with the sequence.
  const std::uint64_t x = offset * 0x9E3779B97F4A7C15ull;
  return static_cast<std::uint8_t>(0x80 | ((x >> 40) & 0x7F));
}

std::string StreamBytes(std::uint64_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(StreamByte(offset + i));
  return bytes;
}

ScriptedReply ScriptedReply::Ok(std::string body, bool withContentLength) {
  ScriptedReply r = Raw("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n");
  if (withContentLength) r.head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r.head += "\r\n";
  r.body = std::move(body);
  return r;
}

ScriptedReply ScriptedReply::Stream(std::uint64_t offset, std::uint64_t length,
                                    std::size_t bytesPerSecond) {
  ScriptedReply r = Ok("");
  r.streamBody = true;
  r.streamOffset = offset;
  r.streamLength = length;
  r.bytesPerSecond = bytesPerSecond;
  return r;
}

ScriptedReply ScriptedReply::Icy(const std::vector<std::string>& headerLines, std::string audio) {
  ScriptedReply r = Raw("ICY 200 OK\r\n");
  for (const auto& line : headerLines) r.head += line + "\r\n";
  r.head += "\r\n";
  r.body = std::move(audio);
  return r;
}

ScriptedReply ScriptedReply::Redirect(int code, std::optional<std::string> target) {
  static const std::map<int, std::string> kReasons = {
      {301, "Moved Permanently"}, {302, "Found"}, {303, "See Other"}, {307, "Temporary Redirect"}};
  ScriptedReply r = Raw("HTTP/1.1 " + std::to_string(code) + " " + kReasons.at(code) + "\r\n");
  if (target) r.head += "Location: " + *target + "\r\n";
  r.head += "Content-Length: 0\r\n\r\n";
  return r;
}

ScriptedReply ScriptedReply::NotFound() {
  ScriptedReply r;
  r.body = "<html><head><title>404 Not Found</title></head><body>Not Found</body></html>";
  r.head = "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(r.body.size()) + "\r\n\r\n";
  return r;
}

ScriptedReply ScriptedReply::Chunked(std::string body, std::size_t chunkSize) {
  ScriptedReply r = Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
  r.body = std::move(body);
  r.chunkSize = chunkSize == 0 ? 1 : chunkSize;
  return r;
}

ScriptedReply ScriptedReply::Stall() {
  ScriptedReply r;
  r.stall = true;
  return r;
}

ScriptedReply ScriptedReply::Raw(std::string bytes) {
  ScriptedReply r;
  r.head = std::move(bytes);
  return r;
}

ScriptedReply ScriptedReply::Garbage(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (auto& b : bytes) b = static_cast<char>(random() & 0xFF);
  return Raw(std::move(bytes));
}

ScriptedHttpServer::ScriptedHttpServer()
    : server_([this](ScriptedTcpConnection& connection) { serve(connection); }) {}

ScriptedHttpServer::~ScriptedHttpServer() = default;

std::string ScriptedHttpServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port()) + std::string(path);
}

void ScriptedHttpServer::enqueue(ScriptedReply reply) {
  const std::lock_guard lock(mutex_);
  queue_.push_back(std::move(reply));
}

void ScriptedHttpServer::setHandler(Handler handler) {
  const std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

std::vector<std::string> ScriptedHttpServer::requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

bool ScriptedHttpServer::waitForRequests(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::uint64_t ScriptedHttpServer::streamBytesSent() const {
  const std::lock_guard lock(mutex_);
  return streamBytesSent_;
}

ScriptedReply ScriptedHttpServer::nextReply(const std::string& request) {
  Handler handler;
  {
    const std::lock_guard lock(mutex_);
    if (!queue_.empty()) {
      ScriptedReply reply = std::move(queue_.front());
      queue_.pop_front();
      return reply;
    }
    handler = handler_;
  }
  return handler ? handler(request) : ScriptedReply::NotFound();
}

void ScriptedHttpServer::serve(ScriptedTcpConnection& connection) {
  connection.readUntil("\r\n\r\n", std::chrono::seconds(5));
  const std::string request = connection.received();
  {
    const std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  changed_.notify_all();

  const ScriptedReply reply = nextReply(request);
  std::optional<std::size_t> budget = reply.closeAfter;
  // Sends `data` at `rate` bytes a second (0: at once) while the budget
  // lasts; true when all of it went.
  const auto sendAll = [&](std::string_view data, std::size_t rate = 0) {
    const std::size_t piece = rate == 0 ? data.size() : std::max<std::size_t>(1, rate / 50);
    for (std::size_t at = 0; at < data.size(); at += piece) {
      const std::size_t want = std::min(piece, data.size() - at);
      const std::size_t sent =
          connection.send(data.substr(at, std::min(want, budget.value_or(want))));
      if (budget) *budget -= sent;
      if (sent < want) return false;
      if (rate != 0) std::this_thread::sleep_for(kSlice);
    }
    return true;
  };
  bool more = sendAll(reply.head);
  for (std::size_t at = 0; more && reply.chunkSize > 0 && at < reply.body.size();
       at += reply.chunkSize) {
    const std::string_view piece = std::string_view(reply.body).substr(at, reply.chunkSize);
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
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
  // A stalled reply holds the connection until the peer or the server ends it.
  if (reply.stall) connection.readToEnd(std::chrono::hours(1));
  if (reply.reset) connection.reset();
}

std::uint16_t RefusingPort() {
  return FreeLoopbackPort();
}

}  // namespace larkspan::test
