#pragma once

#include <cstdint>
#include <string_view>

namespace larkspan::schedule {

// The identifier of an entry: the sum of the program name's bytes taken as
// signed 8-bit values, with the remainder of its division by 100,001 taking the
// sign of the sum. The monitor tags the mountpoints a server entry found with
// it, so it must stay exactly this sum.
std::int32_t nameKey(std::string_view programName);

}  // namespace larkspan::schedule
