#include "schedule/name_key.h"

namespace larkspan::schedule {

std::int32_t nameKey(std::string_view programName) {
  std::int64_t sum = 0;
  for (const char c : programName) sum += static_cast<signed char>(c);
  // C++ division truncates toward zero, so the remainder has the sign of the sum.
  return static_cast<std::int32_t>(sum % 100001);
}

}  // namespace larkspan::schedule
