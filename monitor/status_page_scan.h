#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace larkspan::monitor {

inline constexpr std::size_t kMaxPageNames = 25;
inline constexpr std::size_t kMaxNameLength = 127;

// The mountpoint names of a status page, in page order: from the first
// "<pre>" on, every "/" that follows a line feed, a carriage return or a comma
// (and does not begin "/pre>") starts a name that runs to the next comma, line
// breaks included, and at most 127 bytes. A name holding a zero byte ends
// there. At most 25 names. `page` is remote input of any size and content;
// only its bytes are read.
std::vector<std::string> ScanStatusPage(std::string_view page);

}  // namespace larkspan::monitor
