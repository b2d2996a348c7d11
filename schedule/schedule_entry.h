#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/small_stack_thread.h"

namespace larkspan::schedule {

// Values of `ScheduleEntry::jobSlot` below the job-table range.
inline constexpr std::int32_t kJobSlotFree = -2;  // slot unused, or entry removed
inline constexpr std::int32_t kJobSlotIdle = -1;  // entry in use, not recording

// The thread recording an entry. Shared so that entries stay copyable and can be
// moved inside the table. The scheduler tick joins it when it closes the entry
// out; a reference dropped without a join detaches the thread, which is safe
// because the thread's job stays in the job table until that close-out.
using RecordingThreadRef = std::shared_ptr<platform::SmallStackThread>;

inline constexpr std::size_t kEntryTextSize = 256;
inline constexpr std::size_t kShortIgnoreNameSize = 16;
inline constexpr std::size_t kEntryShortIgnoreSlots = 6;
inline constexpr std::size_t kIgnoreTimeRows = 3;

// One weekly window in which a monitored entry is left alone. Hours and minutes
// are signed bytes because that is how they are stored.
struct IgnoreTimeRow {
  std::uint8_t enabled = 0;
  std::uint8_t days = 0;  // weekday set, bit 0 Sunday to bit 6 Saturday
  std::int8_t startHour = 0;
  std::int8_t startMinute = 0;
  std::int8_t endHour = 0;
  std::int8_t endMinute = 0;

  friend bool operator==(const IgnoreTimeRow&, const IgnoreTimeRow&) = default;
};

// One slot of the schedule. A default-constructed entry is a Free slot with every
// runtime field cleared. Texts are zero-terminated bytes inside their fields;
// write them with CopyControlText or platform::CopyToField, read them with
// platform::FieldText.
struct ScheduleEntry {
  std::int32_t startHour = 0;
  std::int32_t startMinute = 0;
  std::int32_t endHour = 0;
  std::int32_t endMinute = 0;
  std::uint8_t days = 0;  // weekday set, bit 0 Sunday to bit 6 Saturday
  std::int32_t repeating = 0;
  char programName[kEntryTextSize] = {};
  char url[kEntryTextSize] = {};

  // Runtime: kJobSlotFree, kJobSlotIdle, or the entry's slot in the job table.
  std::int32_t jobSlot = kJobSlotFree;
  RecordingThreadRef recordingThread;  // runtime
  std::int32_t running = 0;            // runtime
  std::int32_t shoutcast = 0;
  std::uint8_t startedDay = 0;  // runtime: weekday bit of the latest start
  std::int32_t convert = 0;
  std::int32_t deleteOriginal = 0;
  std::int16_t bitrate = 0;  // kbps
  std::uint8_t keep = 0;     // 1: the user's entry; 0: temporary, dropped at exit
  std::uint8_t monitorMountpoint = 0;
  std::array<IgnoreTimeRow, kIgnoreTimeRows> ignoreTimes{};
  std::uint8_t monitorServer = 0;
  std::int8_t monitorLevel = 0;
  std::uint8_t recordUntilDisconnect = 0;
  std::uint8_t autoCreated = 0;
  std::int32_t nameKey = 0;
  std::uint8_t shortIgnoreFlags[kEntryShortIgnoreSlots] = {};  // short slots 1 to 6
  char shortIgnoreNames[kEntryShortIgnoreSlots][kShortIgnoreNameSize] = {};
  std::uint8_t deleteWhenDone = 0;
  std::int16_t timeout = 0;    // seconds
  std::uint8_t doneToday = 0;  // runtime
  // Runtime, never stored: the local date (year * 10000 + month * 100 + day)
  // on which doneToday was set, so that a day whose midnight no tick saw
  // still clears it. 0 when unknown.
  std::int32_t doneTodayDate = 0;
  std::uint8_t endCount = 0;   // runtime
};

}  // namespace larkspan::schedule
