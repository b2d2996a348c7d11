#pragma once

#include <cstddef>
#include <cstdint>

#include "schedule/schedule_entry.h"

namespace larkspan::schedule {

inline constexpr std::size_t kLongIgnoreNameSize = 32;
inline constexpr std::size_t kLongIgnoreSlots = 24;
inline constexpr std::size_t kIgnoredExtensionSize = 5;
inline constexpr std::size_t kIgnoredExtensions = 6;

// The server monitor's ignore patterns of one schedule slot beyond the six short
// ones the entry holds itself. It lives at the same index as its entry and moves
// with it. A default-constructed record is empty.
struct MonitorOptions {
  std::uint8_t shortIgnoreFlags7To12[6] = {};
  char shortIgnoreNames7To12[6][kShortIgnoreNameSize] = {};
  std::uint8_t shortIgnoreFlags13To24[12] = {};
  char shortIgnoreNames13To24[12][kShortIgnoreNameSize] = {};
  std::uint8_t longIgnoreFlags[kLongIgnoreSlots] = {};
  char longIgnoreNames[kLongIgnoreSlots][kLongIgnoreNameSize] = {};
  char ignoredExtensions[kIgnoredExtensions][kIgnoredExtensionSize] = {};
};

}  // namespace larkspan::schedule
