#include "tests/support/scripted_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace larkspan::test {
namespace {

constexpr std::size_t kMaxRequestBytes = 64 * 1024;
constexpr std::chrono::milliseconds kSlice{20};

std::string ReasonFor(int code) {
  switch (code) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 404:
      return "Not Found";
    default:
      return "Status";
  }
}

int ListenOnLoopback(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 128) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

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
  ScriptedReply r;
  r.head = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n";
  if (withContentLength) r.head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r.head += "\r\n";
  r.body = std::move(body);
  return r;
}

ScriptedReply ScriptedReply::Stream(std::uint64_t offset, std::uint64_t length,
                                    std::size_t bytesPerSecond) {
  ScriptedReply r;
  r.head = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
  r.streamBody = true;
  r.streamOffset = offset;
  r.streamLength = length;
  r.bytesPerSecond = bytesPerSecond;
  return r;
}

ScriptedReply ScriptedReply::Icy(const std::vector<std::string>& headerLines, std::string audio) {
  ScriptedReply r;
  r.head = "ICY 200 OK\r\n";
  for (const auto& line : headerLines) r.head += line + "\r\n";
  r.head += "\r\n";
  r.body = std::move(audio);
  return r;
}

ScriptedReply ScriptedReply::Redirect(int code, std::optional<std::string> target) {
  ScriptedReply r;
  r.head = "HTTP/1.1 " + std::to_string(code) + " " + ReasonFor(code) + "\r\n";
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
  ScriptedReply r;
  r.head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
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

ScriptedHttpServer::ScriptedHttpServer() {
  listenFd_ = ListenOnLoopback(port_);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  acceptThread_.join();
  ::close(listenFd_);
  // No new connection threads start once the accept loop has ended.
  for (auto& t : connections_) t.join();
}

std::string ScriptedHttpServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
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

bool ScriptedHttpServer::stopping() const {
  const std::lock_guard lock(mutex_);
  return stopping_;
}

void ScriptedHttpServer::acceptLoop() {
  while (!stopping()) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(kSlice.count())) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const std::lock_guard lock(mutex_);
    connections_.emplace_back([this, fd] { serve(fd); });
  }
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

std::size_t ScriptedHttpServer::sendPaced(int fd, std::string_view data, std::size_t bytesPerSecond,
                                          std::optional<std::size_t>& budget) {
  std::size_t total = 0;
  const std::size_t slice = bytesPerSecond == 0
                                ? data.size()
                                : std::max<std::size_t>(1, bytesPerSecond * kSlice.count() / 1000);
  while (!data.empty()) {
    if (stopping()) return total;
    std::size_t n = std::min(slice, data.size());
    if (budget) n = std::min(n, *budget);
    if (n == 0) return total;
    std::string_view piece = data.substr(0, n);
    while (!piece.empty()) {
      const ssize_t sent = ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0) {
        piece.remove_prefix(static_cast<std::size_t>(sent));
        total += static_cast<std::size_t>(sent);
        if (budget) *budget -= static_cast<std::size_t>(sent);
        continue;
      }
      if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        if (stopping()) return total;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(kSlice.count()));
        continue;
      }
      return total;
    }
    data.remove_prefix(n);
    if (bytesPerSecond != 0) std::this_thread::sleep_for(kSlice);
  }
  return total;
}

void ScriptedHttpServer::serve(int fd) {
  std::string request;
  char buffer[4096];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes &&
         std::chrono::steady_clock::now() < deadline && !stopping()) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(kSlice.count())) <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  {
    const std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  changed_.notify_all();

  const ScriptedReply reply = nextReply(request);
  std::optional<std::size_t> budget = reply.closeAfter;
  const auto sendAll = [&](std::string_view data, std::size_t bytesPerSecond) {
    return sendPaced(fd, data, bytesPerSecond, budget) == data.size();
  };
  bool more = sendAll(reply.head, 0);
  if (more && reply.chunkSize > 0) {
    for (std::size_t at = 0; more && at < reply.body.size(); at += reply.chunkSize) {
      const std::string_view piece = std::string_view(reply.body).substr(at, reply.chunkSize);
      char size[32];
      std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
      more = sendAll(size, 0) && sendAll(piece, reply.bytesPerSecond) && sendAll("\r\n", 0);
    }
    if (more) more = sendAll("0\r\n\r\n", 0);
  } else if (more) {
    more = sendAll(reply.body, reply.bytesPerSecond);
  }
  if (more && reply.streamBody) {
    constexpr std::size_t kBlock = 16 * 1024;
    std::uint64_t offset = reply.streamOffset;
    std::uint64_t left = reply.streamLength;
    while (more && left > 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, left));
      const std::size_t sent = sendPaced(fd, StreamBytes(offset, n), reply.bytesPerSecond, budget);
      {
        const std::lock_guard lock(mutex_);
        streamBytesSent_ += sent;
      }
      more = sent == n;
      offset += n;
      left -= n;
    }
  }
  if (reply.stall) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopping_; });
  }
  if (reply.reset) {
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  } else {
    ::shutdown(fd, SHUT_WR);
  }
  ::close(fd);
}

std::uint16_t RefusingPort() {
  std::uint16_t port = 0;
  const int fd = ListenOnLoopback(port);
  ::close(fd);
  return port;
}

}  // namespace larkspan::test
