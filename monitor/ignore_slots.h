#pragma once

#include <cstddef>
#include <cstdint>

#include "schedule/monitor_options.h"
#include "schedule/schedule_entry.h"

namespace larkspan::monitor {

inline constexpr std::size_t kShortIgnoreSlots = 24;
// The long slots the dialog shows and writes back; slots 13 to 24 are only
// ever read by the monitor.
inline constexpr std::size_t kEditableLongSlots = 12;

// Every ignore pattern and extension of one entry in one place, with slot k
// (counting from 1) at index k - 1. The entry keeps short slots 1 to 6, its
// MonitorOptions record the rest; this is the working copy the dialog edits
// and the matcher reads.
struct IgnoreSlots {
  std::uint8_t shortFlags[kShortIgnoreSlots] = {};
  char shortNames[kShortIgnoreSlots][schedule::kShortIgnoreNameSize] = {};
  std::uint8_t longFlags[schedule::kLongIgnoreSlots] = {};
  char longNames[schedule::kLongIgnoreSlots][schedule::kLongIgnoreNameSize] = {};
  char extensions[schedule::kIgnoredExtensions][schedule::kIgnoredExtensionSize] = {};
};

IgnoreSlots ReadIgnoreSlots(const schedule::ScheduleEntry& entry,
                            const schedule::MonitorOptions& options);

// Stores what the dialog confirms: short slots 1 to 24, long slots 1 to 12
// and the extensions. Long slots 13 to 24 keep what they held.
void WriteIgnoreSlots(const IgnoreSlots& slots, schedule::ScheduleEntry& entry,
                      schedule::MonitorOptions& options);

}  // namespace larkspan::monitor
