#include "platform/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/network_error.h"

namespace larkspan::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

struct ContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

std::unique_ptr<SSL_CTX, ContextFree> MakeContext() {
  std::unique_ptr<SSL_CTX, ContextFree> context(SSL_CTX_new(TLS_client_method()));
  if (!context) return context;
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
  // Without a trust store every handshake fails verification, with that
  // reason; there is nothing better to do here.
  SSL_CTX_set_default_verify_paths(context.get());
  // Stream servers close without a close_notify; that ends the body as a
  // plain connection's close does (a length or the chunking still tells a
  // cut reply).
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  // Whole socket reads instead of one per record header and one per record,
  // and no idle buffers kept between the records of a slow stream.
  SSL_CTX_set_read_ahead(context.get(), 1);
  SSL_CTX_set_mode(context.get(), SSL_MODE_RELEASE_BUFFERS);
  return context;
}

// One context for the process: it holds the trust store, which is too large
// to load per connection. It is not changed after it has been made.
SSL_CTX* SharedContext() {
  static const std::unique_ptr<SSL_CTX, ContextFree> context = MakeContext();
  return context.get();
}

// Writes with MSG_NOSIGNAL: a peer that has gone fails the write instead of
// killing the process with SIGPIPE. The rest is OpenSSL's socket BIO.
int WriteWithoutSignal(BIO* bio, const char* data, int length) {
  int fd = -1;
  BIO_get_fd(bio, &fd);
  BIO_clear_retry_flags(bio);
  const ssize_t n = ::send(fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    BIO_set_retry_write(bio);
  }
  return static_cast<int>(n);
}

// Where a BIO finds the socket stream it reads for.
int StreamIndex() {
  static const int index = BIO_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// Reads through the socket stream, which never reads a socket that the last
// read left empty: OpenSSL asks again after every record it takes, and that
// read would find nothing. It is told to retry instead, and the stream waits.
int ReadThroughStream(BIO* bio, char* buffer, int length) {
  auto* socket = static_cast<SocketStream*>(BIO_get_ex_data(bio, StreamIndex()));
  BIO_clear_retry_flags(bio);
  if (socket == nullptr || length < 0) return -1;
  const long n = socket->receive(buffer, static_cast<std::size_t>(length));
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(bio);
  // As OpenSSL's socket BIO marks the end, for its check of an end without
  // close_notify.
  if (n == 0 && length > 0) BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
  return static_cast<int>(n);
}

BIO_METHOD* MakeSocketMethod() {
  const BIO_METHOD* socket = BIO_s_socket();
  BIO_METHOD* method = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
  if (method == nullptr) return nullptr;
  BIO_meth_set_write(method, WriteWithoutSignal);
  BIO_meth_set_read(method, ReadThroughStream);
  BIO_meth_set_puts(method, BIO_meth_get_puts(socket));
  BIO_meth_set_ctrl(method, BIO_meth_get_ctrl(socket));
  BIO_meth_set_create(method, BIO_meth_get_create(socket));
  BIO_meth_set_destroy(method, BIO_meth_get_destroy(socket));
  return method;
}

// Made once and never changed, like the context.
const BIO_METHOD* SocketMethod() {
  static const std::unique_ptr<BIO_METHOD, decltype(&BIO_meth_free)> method(MakeSocketMethod(),
                                                                            &BIO_meth_free);
  return method.get();
}

// The socket under `ssl`, read and written by OpenSSL; the socket stream
// keeps owning the descriptor.
bool AttachSocket(SSL* ssl, SocketStream& socket) {
  const BIO_METHOD* method = SocketMethod();
  BIO* bio = method != nullptr ? BIO_new(method) : nullptr;
  if (bio == nullptr) return false;
  if (StreamIndex() < 0 || BIO_set_ex_data(bio, StreamIndex(), &socket) != 1) {
    BIO_free(bio);
    return false;
  }
  BIO_set_fd(bio, socket.descriptor(), BIO_NOCLOSE);
  SSL_set_bio(ssl, bio, bio);
  return true;
}

bool IsAddressLiteral(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// Why an operation failed, in words; clears the thread's error queue for
// the next operation.
std::string FailureReason(SSL* ssl) {
  std::string reason;
  const long verified = SSL_get_verify_result(ssl);
  if (verified != X509_V_OK) {
    reason = std::string("certificate verify failed: ") + X509_verify_cert_error_string(verified);
  } else if (const unsigned long code = ERR_peek_error(); code != 0) {
    const char* text = ERR_reason_error_string(code);
    reason = text != nullptr ? text : "TLS failure " + std::to_string(code);
  } else {
    reason = "connection closed by the server";
  }
  ERR_clear_error();
  return reason;
}

}  // namespace

void TlsStream::Free::operator()(ssl_st* ssl) const {
  SSL_free(ssl);
}

std::unique_ptr<TlsStream> TlsStream::connect(const std::string& host, std::uint16_t port,
                                              const SocketOptions& options) {
  const auto deadline = SteadyClock::now() + options.connectTimeout;
  const std::string failure = "cannot connect to " + host + ":" + std::to_string(port) + ": ";
  auto socket = SocketStream::connect(host, port, options);
  SSL_CTX* context = SharedContext();
  std::unique_ptr<ssl_st, Free> ssl(context != nullptr ? SSL_new(context) : nullptr);
  if (!ssl || !AttachSocket(ssl.get(), *socket) || SSL_set1_host(ssl.get(), host.c_str()) != 1 ||
      // A server name, never an address, is sent as SNI.
      (!IsAddressLiteral(host) && SSL_set_tlsext_host_name(ssl.get(), host.c_str()) != 1)) {
    ERR_clear_error();
    throw NetworkError(failure + "cannot set up TLS");
  }
  SSL_set_hostflags(ssl.get(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  std::unique_ptr<TlsStream> stream(new TlsStream(std::move(socket), std::move(ssl)));
  ERR_clear_error();
  for (;;) {
    const int result = SSL_connect(stream->ssl_.get());
    if (result == 1) return stream;
    const int error = SSL_get_error(stream->ssl_.get(), result);
    short events = 0;
    if (error == SSL_ERROR_WANT_READ) events = POLLIN;
    if (error == SSL_ERROR_WANT_WRITE) events = POLLOUT;
    if (events == 0) {
      stream->failed_ = true;
      throw NetworkError(failure + FailureReason(stream->ssl_.get()));
    }
    if (!stream->socket_->waitUntil(events, deadline)) {
      stream->failed_ = true;
      throw NetworkError(failure + "TLS handshake timed out");
    }
  }
}

TlsStream::~TlsStream() {
  // A close_notify if the socket takes it now; never a wait for the reply.
  if (!failed_ && SSL_is_init_finished(ssl_.get())) SSL_shutdown(ssl_.get());
  ERR_clear_error();
}

bool TlsStream::waitToRetry(int result, const char* what, const char* failure) {
  const int error = SSL_get_error(ssl_.get(), result);
  const std::chrono::milliseconds timeout = socket_->options().ioTimeout;
  switch (error) {
    case SSL_ERROR_WANT_READ:
      socket_->waitFor(POLLIN, timeout, what);
      return true;
    case SSL_ERROR_WANT_WRITE:
      socket_->waitFor(POLLOUT, timeout, what);
      return true;
    case SSL_ERROR_ZERO_RETURN:
      return false;
    default:
      failed_ = true;
      throw NetworkError(std::string(failure) + FailureReason(ssl_.get()));
  }
}

std::size_t TlsStream::readSome(char* buffer, std::size_t max) {
  if (max == 0) return 0;
  for (;;) {
    std::size_t n = 0;
    const int result = SSL_read_ex(ssl_.get(), buffer, max, &n);
    if (result == 1) return n;
    // Nothing to hand out: a slow stream now waits for its next send, and
    // the read that found the socket empty would keep OpenSSL's record
    // buffer (over 16 KiB) all that time. It stays while it holds part of a
    // record.
    if (SSL_get_error(ssl_.get(), result) == SSL_ERROR_WANT_READ) SSL_free_buffers(ssl_.get());
    if (!waitToRetry(result, "read", "receive failed: ")) return 0;
  }
}

void TlsStream::setReadLowWater(std::size_t bytes) {
  socket_->setReadLowWater(bytes);
}

void TlsStream::writeAll(std::string_view data) {
  while (!data.empty()) {
    std::size_t n = 0;
    const int result = SSL_write_ex(ssl_.get(), data.data(), data.size(), &n);
    if (result == 1) {
      data.remove_prefix(n);
    } else if (!waitToRetry(result, "send", "send failed: ")) {
      failed_ = true;
      throw NetworkError("send failed: connection closed by the server");
    }
  }
}

}  // namespace larkspan::platform
