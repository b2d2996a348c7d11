#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace larkspan::platform {

enum class ServiceType { Http, Https, Other };

// HTTP in the clear or inside TLS: what the HTTP client can request.
constexpr bool IsHttpService(ServiceType service) {
  return service == ServiceType::Http || service == ServiceType::Https;
}

// A URL split into what a request needs.
struct UrlParts {
  ServiceType service = ServiceType::Other;
  std::string server;
  std::string object;       // begins with '/', query included
  std::uint16_t port = 80;  // 443 for "https" when the URL names none

  bool operator==(const UrlParts&) const = default;
};

// Splits "scheme://[user@]server[:port][/path][?query]". The schemes "http" and
// "https" in any case are HTTP and HTTPS, any other scheme splits as
// ServiceType::Other. Fails for a text without "://", an empty or malformed
// server name, or a bad port.
std::optional<UrlParts> SplitUrl(std::string_view url);

}  // namespace larkspan::platform
