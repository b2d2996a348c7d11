#include "platform/url.h"

#include "platform/text.h"

namespace larkspan::platform {
namespace {

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

// Host names reach getaddrinfo and the Host header line, so only the
// characters of names and address literals are let through.
bool IsHostChar(char c, bool bracketed) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  if (c == '-' || c == '.' || c == '_') return true;
  return bracketed && (c == ':' || c == '%');
}

std::optional<std::uint16_t> ParsePort(std::string_view digits, std::uint16_t standard) {
  if (digits.empty()) return standard;
  if (digits.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<UrlParts> SplitUrl(std::string_view url) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return std::nullopt;
  const std::string_view scheme = url.substr(0, schemeEnd);
  for (const char c : scheme) {
    if (!IsSchemeChar(c)) return std::nullopt;
  }

  UrlParts parts;
  if (EqualsIgnoringCase(scheme, "http")) {
    parts.service = ServiceType::Http;
  } else if (EqualsIgnoringCase(scheme, "https")) {
    parts.service = ServiceType::Https;
  }

  const std::string_view rest = url.substr(schemeEnd + 3);
  const std::size_t authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }

  std::string_view host;
  std::string_view portText;
  bool bracketed = false;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(1, close - 1);
    bracketed = true;
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      portText = after.substr(1);
    }
  } else {
    const std::size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
  }
  if (host.empty()) return std::nullopt;
  for (const char c : host) {
    if (!IsHostChar(c, bracketed)) return std::nullopt;
  }
  const auto port = ParsePort(portText, parts.service == ServiceType::Https ? 443 : 80);
  if (!port) return std::nullopt;

  parts.server = std::string(host);
  parts.port = *port;
  if (authorityEnd == std::string_view::npos) {
    parts.object = "/";
  } else {
    std::string_view object = rest.substr(authorityEnd);
    if (const std::size_t hash = object.find('#'); hash != std::string_view::npos) {
      object = object.substr(0, hash);
    }
    parts.object =
        object.empty() || object.front() != '/' ? "/" + std::string(object) : std::string(object);
  }
  return parts;
}

}  // namespace larkspan::platform
