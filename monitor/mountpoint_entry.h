#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "schedule/schedule_table.h"

namespace larkspan::monitor {

// What the monitor knows of a schedule entry it makes for a new mountpoint.
struct NewMountpointEntry {
  std::string_view url;  // the full mountpoint URL
  bool monitor = false;  // record whenever the mountpoint is on the air
  bool untilDisconnect = false;
  int fromHour = 0;
  int fromMinute = 0;
  int toHour = 0;
  int toMinute = 0;
  std::int16_t timeout = 0;   // seconds, the monitoring entry's
  std::uint8_t todayBit = 0;  // the day a timed entry records on
};

// The program name of a monitor-made entry: the URL's last path part and
// " mountpoint", with ",", "." and "\" made blanks ("/live.mp3" gives
// "live mp3 mountpoint").
std::string MountpointProgramName(std::string_view url);

// Appends a temporary, auto-created entry for the mountpoint, deleted when
// its recording is done, with no ignore rules. A monitored one records on no
// particular day; a timed one today only. The table grows when it is full.
// Returns the slot, or nothing when the table cannot grow. The caller holds
// ScheduleLock.
std::optional<std::size_t> AddMountpointEntry(schedule::ScheduleTable& schedule,
                                              const NewMountpointEntry& values);

}  // namespace larkspan::monitor
