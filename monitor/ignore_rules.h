#pragma once

#include <array>
#include <string_view>

#include "schedule/monitor_options.h"
#include "schedule/schedule_entry.h"

namespace larkspan::monitor {

// The weekday bit of `weekday` (0 Sunday to 6 Saturday) in the encoding of an
// entry's day sets; 0 for a weekday outside that range (no local time), which
// no row matches.
int DayBit(int weekday);

// True when (hour, minute) on the day `dayBit` lies in one of the enabled
// rows. The start is inclusive, the end exclusive; a row whose end is not
// after its start never matches, so a window across midnight needs two rows.
bool IsIgnoreTime(const std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows,
                  int hour, int minute, int dayBit);

// True when a name pattern or an ignored extension of the monitoring entry
// rejects `name`, the mountpoint exactly as the status page gave it ("/live").
// Short slots 1 to 18 take part only with their flag set; short slots 19 to
// 24 and the long slots whenever their name is not empty, as stored profiles
// have always been read.
bool IsIgnoredMountpoint(std::string_view name, const schedule::ScheduleEntry& entry,
                         const schedule::MonitorOptions& options);

// Matches `subject` against a pattern of pieces separated by "*": each piece,
// less its leading white space, must occur in the subject after the previous
// one, anywhere (nothing is anchored). A pattern without "*" never matches:
// callers test plain equality themselves. Case-sensitive.
bool MatchWildcard(std::string_view subject, std::string_view pattern);

}  // namespace larkspan::monitor
