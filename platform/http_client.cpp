#include "platform/http_client.h"

#include "platform/network_error.h"
#include "platform/text.h"
#include "platform/tls_stream.h"

namespace larkspan::platform {
namespace {

// Bytes that may not stand in a request line are percent-encoded, so that a
// path from a playlist or a status page can never inject header lines.
std::string RequestPath(std::string_view object) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string path;
  path.reserve(object.size());
  for (const char c : object) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7F) {
      path.push_back('%');
      path.push_back(kHex[b >> 4]);
      path.push_back(kHex[b & 0x0F]);
    } else {
      path.push_back(c);
    }
  }
  return path.empty() ? "/" : path;
}

std::string_view HeaderName(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? line : line.substr(0, colon);
}

}  // namespace

HttpRequest::HttpRequest(std::string server, std::uint16_t port, std::string object,
                         HttpOptions options, ServiceType service)
    : server_(std::move(server)),
      port_(port),
      object_(std::move(object)),
      options_(options),
      service_(service) {}

HttpRequest::~HttpRequest() = default;

void HttpRequest::addRequestHeaders(std::string_view block) {
  while (!block.empty()) {
    std::size_t end = block.find("\r\n");
    const std::string_view line = block.substr(0, end);
    block.remove_prefix(end == std::string_view::npos ? block.size() : end + 2);
    if (line.empty() || line.find_first_of("\r\n") != std::string_view::npos) continue;
    const std::string_view name = HeaderName(line);
    bool present = EqualsIgnoringCase(name, "Host");
    for (std::size_t at = 0; !present && at < headers_.size();) {
      const std::size_t lineEnd = headers_.find("\r\n", at);
      present =
          EqualsIgnoringCase(HeaderName(std::string_view(headers_).substr(at, lineEnd - at)), name);
      at = lineEnd + 2;
    }
    if (present) continue;
    headers_.append(line);
    headers_.append("\r\n");
  }
}

std::string HttpRequest::requestText() const {
  std::string host = server_.find(':') != std::string::npos ? "[" + server_ + "]" : server_;
  if (port_ != (service_ == ServiceType::Https ? 443 : 80)) host += ":" + std::to_string(port_);
  return "GET " + RequestPath(object_) + " HTTP/1.0\r\nHost: " + host + "\r\n" + headers_ + "\r\n";
}

void HttpRequest::send() {
  close();
  SocketOptions socketOptions;
  socketOptions.connectTimeout = options_.connectTimeout;
  socketOptions.ioTimeout = options_.readTimeout;
  socketOptions.cancel = options_.cancel;
  socketOptions.cancelEvent = options_.cancelEvent;
  if (service_ == ServiceType::Https) {
    stream_ = TlsStream::connect(server_, port_, socketOptions);
  } else {
    stream_ = SocketStream::connect(server_, port_, socketOptions);
  }
  stream_->writeAll(requestText());
  reply_ = std::make_unique<HttpReply>(*stream_, options_.keepLimit);
  reply_->readHead();
  // The head is read at every packet, as it may come alone and be small.
  if (options_.bodyLowWater > 0) stream_->setReadLowWater(options_.bodyLowWater);
}

int HttpRequest::statusCode() const {
  return reply_ ? reply_->statusCode() : 0;
}

const std::string& HttpRequest::rawHead() const {
  static const std::string kNone;
  return reply_ ? reply_->rawHead() : kNone;
}

std::size_t HttpRequest::read(char* buffer, std::size_t count) {
  return reply_ ? reply_->read(buffer, count) : 0;
}

void HttpRequest::seekToBodyStart() {
  if (!reply_) throw NetworkError("request not sent");
  reply_->seekToBodyStart();
}

void HttpRequest::dropKeptBytes() {
  if (reply_) reply_->dropKeptBytes();
}

void HttpRequest::close() {
  reply_.reset();
  stream_.reset();
}

}  // namespace larkspan::platform
