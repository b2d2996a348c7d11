#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/http_reply.h"
#include "platform/socket_stream.h"
#include "platform/url.h"

namespace larkspan::platform {

struct HttpOptions {
  std::chrono::milliseconds connectTimeout{10'000};
  // The longest wait for any data of the reply.
  std::chrono::milliseconds readTimeout{20'000};
  // Body bytes kept so that a request can be repositioned to its start.
  std::size_t keepLimit = HttpReply::kDefaultKeepLimit;
  // A stop request: when it becomes true, a waiting connect or read fails
  // with NetworkError instead of running into its time-out: at once when
  // `cancelEvent` is given (see SocketOptions), within 200 ms otherwise.
  const std::atomic<bool>* cancel = nullptr;
  int cancelEvent = -1;
  // When not 0, body reads that wait are woken only once this many bytes
  // have arrived (ByteStream::setReadLowWater), not at every packet.
  std::size_t bodyLowWater = 0;
};

// One GET of one object path, HTTP/1.0, on a connection of its own, inside
// TLS for ServiceType::Https. Every network failure, a certificate that
// fails verification too, is raised as NetworkError.
class HttpRequest {
 public:
  HttpRequest(std::string server, std::uint16_t port, std::string object, HttpOptions options,
              ServiceType service = ServiceType::Http);
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Adds each CR LF-ended line of `block` whose header name is not present yet.
  void addRequestHeaders(std::string_view block);

  // The exact bytes send() writes: "GET {path} HTTP/1.0", a Host line (with
  // the port unless it is the scheme's own), the added header lines, an
  // empty line.
  std::string requestText() const;

  // Connects, writes the request and reads the reply head.
  void send();

  int statusCode() const;
  const std::string& rawHead() const;

  // Blocks until `count` body bytes have arrived or the body has ended;
  // returns fewer only at the end, then 0.
  std::size_t read(char* buffer, std::size_t count);
  void seekToBodyStart();
  void dropKeptBytes();

  // Ends the request and its connection; later reads return 0.
  void close();

 private:
  std::string server_;
  std::uint16_t port_;
  std::string object_;
  HttpOptions options_;
  ServiceType service_;
  std::string headers_;
  std::unique_ptr<ByteStream> stream_;
  std::unique_ptr<HttpReply> reply_;
};

// A server name and port that requests are opened on. Connecting happens
// when a request is sent, so making a connection never touches the network.
class HttpConnection {
 public:
  HttpConnection(std::string server, std::uint16_t port, HttpOptions options,
                 ServiceType service = ServiceType::Http)
      : server_(std::move(server)), port_(port), options_(options), service_(service) {}

  std::unique_ptr<HttpRequest> openRequest(std::string object) const {
    return std::make_unique<HttpRequest>(server_, port_, std::move(object), options_, service_);
  }

  const std::string& server() const { return server_; }
  std::uint16_t port() const { return port_; }
  ServiceType service() const { return service_; }

 private:
  std::string server_;
  std::uint16_t port_;
  HttpOptions options_;
  ServiceType service_;
};

}  // namespace larkspan::platform
