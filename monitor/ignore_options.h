#pragma once

#include <array>
#include <string>

#include "monitor/ignore_slots.h"
#include "schedule/schedule_entry.h"

namespace larkspan::monitor {

// What "Advanced Monitor Mountpoint Options" shows: three ignore-time rows and
// the two comma-separated lists. Texts are stored bytes (the window converts).
struct IgnoreOptionsForm {
  struct Row {
    bool enabled = false;
    int startHour = 0;
    int startMinute = 0;
    int endHour = 0;
    int endMinute = 0;
    std::string day;  // "Sunday" to "Saturday", or what the user typed
  };
  std::array<Row, schedule::kIgnoreTimeRows> rows;
  std::string mountpoints;  // "Ignore mountpoints:"
  std::string extensions;   // "Ignore File Extensions:"
};

inline constexpr std::size_t kIgnoreDayTextLimit = 16;

IgnoreOptionsForm ShowIgnoreOptions(
    const std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows,
    const IgnoreSlots& slots);

// "Close": writes the form back into the working copy. A day text that names
// no day keeps the row's day; long slots 13 to 24 keep what they held.
void ConfirmIgnoreOptions(const IgnoreOptionsForm& form,
                          std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows,
                          IgnoreSlots& slots);

}  // namespace larkspan::monitor
