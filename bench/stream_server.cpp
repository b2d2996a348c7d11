#include "bench/stream_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace larkspan::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kMaxRequestBytes = 8192;
constexpr std::size_t kFastSendBytes = 256 * 1024;
constexpr std::string_view kStreamHead = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
constexpr std::string_view kNotFound =
    "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n"
    "<html><body>Stream not found</body></html>\r\n";

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

}  // namespace

void StreamServer::ContextFree::operator()(ssl_ctx_st* context) const {
  SSL_CTX_free(context);
}

struct StreamServer::Connection {
  int fd = -1;
  std::unique_ptr<SSL, SslFree> ssl;
  std::string request;
  bool streaming = false;
  std::uint32_t id = 0;
  std::uint64_t sent = 0;
  SteadyClock::time_point start;
  SteadyClock::time_point due;
};

StreamServer::StreamServer(StreamServerOptions options) : options_(std::move(options)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Thousands of clients connect at once: take them all into the queue.
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 4096) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  socklen_t length = sizeof address;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);

  if (!options_.tlsCertificate.empty()) {
    tls_.reset(SSL_CTX_new(TLS_server_method()));
    const std::string pem = options_.tlsCertificate.string();
    if (!tls_ || SSL_CTX_use_certificate_chain_file(tls_.get(), pem.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_.get(), pem.c_str(), SSL_FILETYPE_PEM) != 1) {
      throw std::runtime_error("cannot load " + pem);
    }
    // A send that would block is retried later from the same offset, whose
    // bytes are the same but live in the one scratch buffer.
    SSL_CTX_set_mode(tls_.get(),
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  }

  epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event e{};
  e.events = EPOLLIN;
  e.data.fd = listenFd_;
  ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &e);
  e.data.fd = wakeFd_;
  ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &e);
  scratch_.resize(kFastSendBytes);
  thread_ = std::thread([this] { loop(); });
}

StreamServer::~StreamServer() {
  stopping_ = true;
  const std::uint64_t one = 1;
  (void)::write(wakeFd_, &one, sizeof one);
  thread_.join();
  for (auto& c : connections_) {
    if (c) ::close(c->fd);
  }
  ::close(wakeFd_);
  ::close(epollFd_);
  ::close(listenFd_);
}

std::string StreamServer::baseUrl() const {
  return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + "/s/";
}

void StreamServer::reset() {
  const std::lock_guard lock(mutex_);
  begun_.clear();
  begunCount_ = 0;
  completedCount_ = 0;
}

std::size_t StreamServer::streamsBegun() const {
  const std::lock_guard lock(mutex_);
  return begunCount_;
}

std::size_t StreamServer::streamsCompleted() const {
  const std::lock_guard lock(mutex_);
  return completedCount_;
}

void StreamServer::loop() {
  const bool paced = options_.bytesPerSecond > 0;
  std::vector<epoll_event> events(512);
  while (!stopping_) {
    const int n =
        ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), paced ? 5 : 100);
    const auto now = SteadyClock::now();
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd == wakeFd_) return;
      if (fd == listenFd_) {
        accept();
        continue;
      }
      if (fd >= static_cast<int>(connections_.size()) || !connections_[fd]) continue;
      Connection& c = *connections_[fd];
      if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
        onReadable(c);
        if (!connections_[fd]) continue;
      }
      if (!paced && c.streaming && (events[i].events & EPOLLOUT) && !pump(c, now)) close(fd);
    }
    if (paced) {
      for (auto& slot : connections_) {
        if (slot && slot->streaming && slot->due <= now && !pump(*slot, now)) close(slot->fd);
      }
    }
  }
}

void StreamServer::accept() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (fd >= static_cast<int>(connections_.size())) connections_.resize(fd + 1);
    connections_[fd] = std::make_unique<Connection>();
    connections_[fd]->fd = fd;
    if (tls_) {
      connections_[fd]->ssl.reset(SSL_new(tls_.get()));
      SSL_set_fd(connections_[fd]->ssl.get(), fd);
      SSL_set_accept_state(connections_[fd]->ssl.get());
    }
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = fd;
    ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &e);
  }
}

void StreamServer::onReadable(Connection& c) {
  char buffer[2048];
  // TLS may hold more than one read hands out; the socket would not say so.
  for (;;) {
    const long n = receive(c, buffer, sizeof buffer);
    if (n == 0) {
      close(c.fd);  // the client went away
      return;
    }
    if (n < 0) return;          // nothing more yet
    if (c.streaming) continue;  // bytes after the request
    c.request.append(buffer, static_cast<std::size_t>(n));
    const std::size_t end = c.request.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (c.request.size() > kMaxRequestBytes) {
        close(c.fd);
        return;
      }
      continue;
    }
    // "GET /s/17 HTTP/1.0"
    const std::size_t pathStart = c.request.find(' ');
    const std::size_t pathEnd = c.request.find(' ', pathStart + 1);
    begin(c, pathStart == std::string::npos || pathEnd == std::string::npos
                 ? std::string()
                 : c.request.substr(pathStart + 1, pathEnd - pathStart - 1));
    return;
  }
}

void StreamServer::begin(Connection& c, const std::string& path) {
  bool fresh = false;
  if (path.rfind("/s/", 0) == 0 && path.size() > 3 &&
      path.find_first_not_of("0123456789", 3) == std::string::npos) {
    c.id = static_cast<std::uint32_t>(std::stoul(path.substr(3)));
    const std::lock_guard lock(mutex_);
    if (c.id >= begun_.size()) begun_.resize(c.id + 1);
    if (!begun_[c.id]) {
      begun_[c.id] = true;
      ++begunCount_;
      fresh = true;
    }
  }
  // A fresh connection has room for a head: one send does it.
  if (!fresh) {
    (void)transmit(c, kNotFound.data(), kNotFound.size());
    close(c.fd);
    return;
  }
  (void)transmit(c, kStreamHead.data(), kStreamHead.size());
  c.streaming = true;
  c.start = c.due = SteadyClock::now();
  if (options_.bytesPerSecond == 0) {
    epoll_event e{};
    e.events = EPOLLIN | EPOLLOUT;
    e.data.fd = c.fd;
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, c.fd, &e);
  }
}

bool StreamServer::pump(Connection& c, SteadyClock::time_point now) {
  std::uint64_t target = options_.bytesPerStream;
  if (options_.bytesPerSecond > 0) {
    // What the stream should have sent by now; catching up after a late
    // turn keeps the average rate exact.
    const auto elapsed = std::chrono::duration<double>(now - c.start).count();
    target = std::min(target, static_cast<std::uint64_t>(elapsed * options_.bytesPerSecond));
    c.due += options_.sendInterval;
  }
  while (c.sent < target) {
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(target - c.sent, scratch_.size()));
    options_.content(c.id, c.sent, scratch_.data(), count);
    // After a TLS send that would block, this passes the same bytes again
    // and at least as many, as OpenSSL asks of a retry.
    const long n = transmit(c, scratch_.data(), count);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
      return false;  // the client went away; its stream is incomplete
    }
    c.sent += static_cast<std::uint64_t>(n);
  }
  if (c.sent < options_.bytesPerStream) return true;
  if (c.ssl) SSL_shutdown(c.ssl.get());  // a close_notify, never a wait for the answer
  const std::lock_guard lock(mutex_);
  ++completedCount_;
  return false;  // all sent: closing ends the stream
}

long StreamServer::receive(Connection& c, char* buffer, std::size_t max) {
  if (!c.ssl) {
    const ssize_t n = ::recv(c.fd, buffer, max, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return -1;
    return n < 0 ? 0 : n;
  }
  // The handshake runs inside the first reads.
  std::size_t n = 0;
  if (SSL_read_ex(c.ssl.get(), buffer, max, &n) == 1) return static_cast<long>(n);
  const int error = SSL_get_error(c.ssl.get(), 0);
  ERR_clear_error();
  return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? -1 : 0;
}

long StreamServer::transmit(Connection& c, const char* data, std::size_t count) {
  if (!c.ssl) return ::send(c.fd, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
  std::size_t n = 0;
  if (SSL_write_ex(c.ssl.get(), data, count, &n) == 1) return static_cast<long>(n);
  const int error = SSL_get_error(c.ssl.get(), 0);
  ERR_clear_error();
  errno = error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ ? EAGAIN : EPIPE;
  return -1;
}

void StreamServer::close(int fd) {
  ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
  ::close(fd);
  connections_[fd].reset();
}

}  // namespace larkspan::bench
