#pragma once

#include "schedule/byte_io.h"
#include "schedule/known_mountpoints.h"
#include "schedule/profile_settings.h"
#include "schedule/schedule_table.h"

namespace larkspan::schedule {

// Reads the four sections of a profile from `source` into the three
// collections: what is whole is used, the rest is left out.
//
// - A head that is not whole leaves `settings` as it was and the schedule empty.
// - The capacity starts at 1,024 and doubles until it holds the stored entry
//   count, but never beyond what the data left could hold, so a count such as
//   2^31-1 in a small file allocates nothing extra. The count becomes the number
//   of entries read whole; each comes back Idle, kept, not done today, not
//   running, without a thread.
// - Every known-mountpoint record present is read (the list grows as needed).
// - MonitorOptions records are read up to the smaller of their stored count and
//   the entry count; entries without one keep an empty record.
//
// The caller holds ScheduleLock.
void ReadProfile(ByteSource& source, ProfileSettings& settings, ScheduleTable& table,
                 KnownMountpoints& knownMountpoints);

}  // namespace larkspan::schedule
