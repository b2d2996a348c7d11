#pragma once

#include <cstdint>
#include <vector>

#include "schedule/schedule_entry.h"

namespace larkspan::schedule {

// A mountpoint the server monitor has already met and must not offer again.
struct KnownMountpoint {
  char url[kEntryTextSize] = {};  // empty: removed, waiting to be compacted
  std::int32_t ownerKey = 0;      // nameKey of the monitored-server entry that found it
};

// In insertion order. Grows as the monitor appends; it has no fixed room.
using KnownMountpoints = std::vector<KnownMountpoint>;

}  // namespace larkspan::schedule
