#pragma once

#include "schedule/byte_io.h"
#include "schedule/known_mountpoints.h"
#include "schedule/profile_settings.h"
#include "schedule/schedule_table.h"

namespace larkspan::schedule {

// Writes the four sections of a profile to `sink`: the settings with the entry
// count, the entries below the count, the known mountpoints with their head and
// the MonitorOptions records of the entries with theirs. False when the sink
// fails or a count does not fit its 32-bit field. The caller holds
// ScheduleLock.
bool WriteProfile(ByteSink& sink, const ProfileSettings& settings, const ScheduleTable& table,
                  const KnownMountpoints& knownMountpoints);

}  // namespace larkspan::schedule
