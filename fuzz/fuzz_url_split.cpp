// Splits arbitrary text as a URL, then builds the request line a split URL
// would be sent with: nothing may crash, and no request may carry a line
// break outside its header lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/http_client.h"
#include "platform/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto parts = larkspan::platform::SplitUrl(text);
  if (!parts) return 0;
  if (parts->server.empty() || parts->object.empty() || parts->object[0] != '/') __builtin_trap();
  larkspan::platform::HttpRequest request(parts->server, parts->port, parts->object, {});
  const std::string wire = request.requestText();
  const std::size_t firstBreak = wire.find("\r\n");
  const std::size_t hostBreak = wire.find("\r\n", firstBreak + 2);
  // The request line, the Host line, the empty line: nothing else.
  if (wire.find('\n') != firstBreak + 1 || wire.substr(hostBreak) != "\r\n\r\n") __builtin_trap();
  return 0;
}
