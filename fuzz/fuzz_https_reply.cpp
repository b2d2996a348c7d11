// The reply parser over the TLS stream's read path: a TLS server on
// 127.0.0.1, in this process, sends arbitrary bytes as its answer, in
// records whose size the input chooses, ending with or without a
// close_notify; the client reads the whole body the way a recording does,
// with a reposition in between.
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/http_reply.h"
#include "platform/network_error.h"
#include "platform/tls_stream.h"

namespace {

using namespace std::chrono_literals;

// A self-signed certificate for 127.0.0.1 that the client trusts through
// SSL_CERT_FILE, and a listening socket; made once, for every input.
class Server {
 public:
  Server() {
    std::signal(SIGPIPE, SIG_IGN);  // the client may go while the server sends
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), &X509_free);
    if (!key || !certificate) throw std::runtime_error("cannot make a key");
    X509* x = certificate.get();
    X509_set_version(x, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 7 * 86400);
    X509_set_pubkey(x, key.get());
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("fuzz"), -1, -1, 0);
    X509_set_issuer_name(x, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x, x, nullptr, nullptr, 0);
    for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"},
                                     std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
      X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
      if (extension == nullptr || X509_add_ext(x, extension, -1) != 1) {
        throw std::runtime_error("cannot add an extension");
      }
      X509_EXTENSION_free(extension);
    }
    if (X509_sign(x, key.get(), EVP_sha256()) == 0) throw std::runtime_error("cannot sign");

    trust_ = std::filesystem::temp_directory_path() /
             ("fuzz_https_reply." + std::to_string(::getpid()) + ".pem");
    FILE* out = std::fopen(trust_.c_str(), "w");
    if (out == nullptr || PEM_write_X509(out, x) != 1 || std::fclose(out) != 0) {
      throw std::runtime_error("cannot write " + trust_.string());
    }
    ::setenv("SSL_CERT_FILE", trust_.c_str(), 1);

    context_.reset(SSL_CTX_new(TLS_server_method()));
    if (!context_ || SSL_CTX_use_certificate(context_.get(), x) != 1 ||
        SSL_CTX_use_PrivateKey(context_.get(), key.get()) != 1) {
      throw std::runtime_error("cannot set up the server");
    }

    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 4) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
  }

  ~Server() {
    ::close(listenFd_);
    std::error_code ignored;
    std::filesystem::remove(trust_, ignored);
  }

  std::uint16_t port() const { return port_; }

  // Takes one connection and answers with `wire` in records of `slice`
  // bytes; runs on a thread of its own while the client reads.
  void answer(const std::string& wire, std::size_t slice, bool closeNotify) const {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(context_.get()), &SSL_free);
    if (ssl && SSL_set_fd(ssl.get(), fd) == 1 && SSL_accept(ssl.get()) == 1) {
      bool sent = true;
      for (std::size_t at = 0; sent && at < wire.size(); at += slice) {
        const std::size_t count = std::min(slice, wire.size() - at);
        sent = SSL_write(ssl.get(), wire.data() + at, static_cast<int>(count)) > 0;
      }
      if (sent && closeNotify) SSL_shutdown(ssl.get());
    }
    ssl.reset();
    ::close(fd);
  }

 private:
  struct ContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
  };
  std::filesystem::path trust_;
  std::unique_ptr<SSL_CTX, ContextFree> context_;
  int listenFd_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Server server;
  if (size < 2) return 0;
  const std::size_t slice = 1 + data[0] % 64;
  const std::size_t readSize = 1 + static_cast<std::size_t>(data[1]) * 8;
  const std::string wire(reinterpret_cast<const char*>(data + 2), size - 2);
  std::thread answering([&] { server.answer(wire, slice, (data[0] & 0x80) == 0); });
  try {
    // Ends (and closes) before the join: a server still sending then fails.
    auto stream =
        larkspan::platform::TlsStream::connect("127.0.0.1", server.port(), {10s, 10s, nullptr});
    larkspan::platform::HttpReply reply(*stream, 4096);
    reply.readHead();
    (void)reply.statusCode();
    (void)reply.rawHead();
    std::string buffer(readSize, '\0');
    std::size_t total = 0;
    bool repositioned = false;
    for (;;) {
      const std::size_t n = reply.read(buffer.data(), readSize);
      if (n > readSize) __builtin_trap();
      total += n;
      if (total > wire.size() * 2 + readSize) __builtin_trap();  // bodies never grow
      if (!repositioned && total > 100) {
        repositioned = true;
        try {
          reply.seekToBodyStart();
        } catch (const larkspan::platform::NetworkError&) {
        }
      }
      if (n == 0) break;
    }
  } catch (const larkspan::platform::NetworkError&) {
  }
  answering.join();
  return 0;
}
