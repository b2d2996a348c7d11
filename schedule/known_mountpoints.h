#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "schedule/schedule_entry.h"

namespace larkspan::schedule {

// A mountpoint the server monitor has already met and must not offer again.
struct KnownMountpoint {
  char url[kEntryTextSize] = {};  // empty: removed, waiting to be compacted
  std::int32_t ownerKey = 0;      // nameKey of the monitored-server entry that found it
};

// In insertion order. Grows as the monitor appends, up to
// kMaxKnownPerOwner records for each monitoring entry.
using KnownMountpoints = std::vector<KnownMountpoint>;

// The records one monitoring entry keeps. A status page shows at most 25
// names, so a server's own set fits ten times over; only a server that keeps
// making new names reaches the bound (at 12 a minute, in some twenty
// minutes), and the names it then drops left its page long before.
inline constexpr std::size_t kMaxKnownPerOwner = 256;

// Appends `url`, met by the monitoring entry whose nameKey is `ownerKey`.
// When that entry has kMaxKnownPerOwner records already, its oldest ones go
// to make room; the other entries' records stay.
void RememberMountpoint(KnownMountpoints& known, std::string_view url, std::int32_t ownerKey);

}  // namespace larkspan::schedule
