#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/url.h"

namespace larkspan::monitor {

inline constexpr std::string_view kStatusPageName = "status2.xsl";
inline constexpr const char* kCannotParseUrlMessage = "Cannot parse URL";

// The server URL with one "/" and the status page's name after it, so that a
// URL ending in a port and the same URL with a "/" name the same page.
std::string StatusPageAddress(std::string_view serverUrl);

// Splits a status-page address for the request. An address that does not
// split as HTTP or HTTPS (a server URL written without its scheme) is tried
// again with "http://" before it. Nothing when neither form does.
std::optional<platform::UrlParts> SplitStatusPageAddress(std::string_view address);

// The server URL as stored, less one trailing "/". A mountpoint's full URL is
// this followed by its name, so it keeps the URL as the user wrote it (without
// a scheme if it had none).
std::string_view MountpointBaseUrl(std::string_view serverUrl);

}  // namespace larkspan::monitor
