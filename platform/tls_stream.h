#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/socket_stream.h"

struct ssl_st;

namespace larkspan::platform {

// A TLS connection (OpenSSL) over a TCP connection, with the same time-outs
// and cancel flag. The server's certificate is verified against the system's
// trust store (OpenSSL's default paths, which honour SSL_CERT_FILE and
// SSL_CERT_DIR, read once by the first connection of the process) and must
// name the host asked for; the host name goes out as SNI. Unlike a
// SocketStream, reads and writes must not overlap: the TLS state is shared.
class TlsStream final : public ByteStream {
 public:
  // Connects and completes the handshake, both within the connect time-out.
  // Throws NetworkError with the reason when that fails: "cannot connect to
  // host:443: certificate verify failed: hostname mismatch".
  static std::unique_ptr<TlsStream> connect(const std::string& host, std::uint16_t port,
                                            const SocketOptions& options);
  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Hands out what has been decrypted already before it waits for the socket.
  std::size_t readSome(char* buffer, std::size_t max) override;
  void writeAll(std::string_view data) override;
  // The socket's mark: a wait ends with a record or more to decrypt, as a
  // stream sends records of a few packets.
  void setReadLowWater(std::size_t bytes) override;

 private:
  struct Free {
    void operator()(ssl_st* ssl) const;
  };
  TlsStream(std::unique_ptr<SocketStream> socket, std::unique_ptr<ssl_st, Free> ssl)
      : socket_(std::move(socket)), ssl_(std::move(ssl)) {}
  // After an operation that returned `result`: waits as TLS asks ("{what}
  // timed out" when nothing comes), returning true to try again, or false at
  // a clean end; throws `failure` and the reason on a failure.
  bool waitToRetry(int result, const char* what, const char* failure);

  std::unique_ptr<SocketStream> socket_;
  std::unique_ptr<ssl_st, Free> ssl_;
  // After a failure no TLS call may be made, a close_notify neither.
  bool failed_ = false;
};

}  // namespace larkspan::platform
