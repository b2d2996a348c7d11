#include "monitor/status_page_address.h"

namespace larkspan::monitor {
namespace {

std::optional<platform::UrlParts> SplitAsHttp(std::string_view address) {
  auto parts = platform::SplitUrl(address);
  if (!parts || !platform::IsHttpService(parts->service)) return std::nullopt;
  return parts;
}

}  // namespace

std::string StatusPageAddress(std::string_view serverUrl) {
  std::string address(serverUrl);
  if (!address.ends_with('/')) address.push_back('/');
  address.append(kStatusPageName);
  return address;
}

std::optional<platform::UrlParts> SplitStatusPageAddress(std::string_view address) {
  if (auto parts = SplitAsHttp(address)) return parts;
  return SplitAsHttp("http://" + std::string(address));
}

std::string_view MountpointBaseUrl(std::string_view serverUrl) {
  if (serverUrl.ends_with('/')) serverUrl.remove_suffix(1);
  return serverUrl;
}

}  // namespace larkspan::monitor
