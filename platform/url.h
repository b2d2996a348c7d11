#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace larkspan::platform {

enum class ServiceType { Http, Other };

// A URL split into what a request needs.
struct UrlParts {
  ServiceType service = ServiceType::Other;
  std::string server;
  std::string object;  // begins with '/', query included
  std::uint16_t port = 80;

  bool operator==(const UrlParts&) const = default;
};

// Splits "scheme://[user@]server[:port][/path][?query]". The scheme "http" in
// any case is HTTP, any other scheme splits as ServiceType::Other. Fails for a
// text without "://", an empty or malformed server name, or a bad port.
std::optional<UrlParts> SplitUrl(std::string_view url);

}  // namespace larkspan::platform
