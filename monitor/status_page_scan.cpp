#include "monitor/status_page_scan.h"

#include <algorithm>

namespace larkspan::monitor {
namespace {

bool EndsField(char c) {
  return c == '\n' || c == '\r' || c == ',';
}

}  // namespace

std::vector<std::string> ScanStatusPage(std::string_view page) {
  std::vector<std::string> names;
  const std::size_t marker = page.find("<pre>");
  if (marker == std::string_view::npos) return names;

  // From the marker's ">", so that the byte before a candidate always exists.
  std::size_t at = marker + 4;
  while (at < page.size() && names.size() < kMaxPageNames) {
    if (page[at] != '/' || !EndsField(page[at - 1]) || page.substr(at, 5) == "/pre>") {
      ++at;
      continue;
    }
    const std::size_t limit = std::min(page.size(), at + kMaxNameLength);
    const std::size_t end = std::min(page.find(',', at), limit);
    std::string_view name = page.substr(at, end - at);
    name = name.substr(0, name.find('\0'));
    names.emplace_back(name);
    at = end;
  }
  return names;
}

}  // namespace larkspan::monitor
