#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "schedule/schedule_table.h"

namespace larkspan::schedule {

// The schedule list window's text: the user's entries, four lines each.

// Whether the list shows the entry: in use, the user's own, and with a day or
// a monitor mark.
bool IsListed(const ScheduleEntry& entry);

// The indexes of the listed entries in the order the list shows them. Each
// entry, in table order, is placed by walking from the previously placed one
// towards the front or the back: close to the order of first weekday, start
// hour and minute, with monitored entries gathering at the back. The walk,
// not a sort, defines the order; users know their lists by it.
std::vector<std::size_t> ListingOrder(const ScheduleTable& table);

inline constexpr std::size_t kLinesPerEntry = 4;

// The four lines of an entry shown at position `number` (from 1).
std::array<std::string, kLinesPerEntry> ListingLines(std::size_t number,
                                                     const ScheduleEntry& entry);

// The entry a line (from 0) of the list belongs to.
std::optional<std::size_t> EntryAtLine(const std::vector<std::size_t>& order, std::size_t line);

}  // namespace larkspan::schedule
