#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "platform/prompter.h"
#include "schedule/known_mountpoints.h"
#include "schedule/monitor_options.h"
#include "schedule/profile_settings.h"
#include "schedule/schedule_entry.h"
#include "schedule/schedule_table.h"

namespace larkspan::schedule {

inline constexpr const char* kProfileFileName = "brambly.prf";

inline constexpr const char* kTableGrowthFailedMessage =
    "Memory allocation failed.\nCannot add more schedule entries.";

// Everything the profile file keeps, with the lock that guards it. The main
// window (or the headless runner) owns the one instance.
struct Profile {
  ProfileSettings settings;
  ScheduleTable schedule;
  KnownMountpoints knownMountpoints;  // entries' MonitorOptions live in `schedule`
  // Why the profile file could not be read when it exists but could not be
  // (permissions, an I/O error); empty otherwise. While it is set, SaveProfile
  // leaves the file alone: saving would replace what this run never saw.
  std::string readFailure;
  // ScheduleLock. Recursive because the editor's operations call each other
  // while holding it. When the job table's lock is needed too, take that first.
  mutable std::recursive_mutex scheduleLock;
};

// Reads "brambly.prf" in `startupDirectory` under ScheduleLock (rules in
// ReadProfile). False when there is no such file or it cannot be read: the
// schedule is then empty with capacity 1,024, no known mountpoints, and the
// settings stay as they were (the caller has set the defaults). A file that
// exists but cannot be read (or fails while it is read) sets
// `profile.readFailure`; a missing one clears it.
bool LoadProfile(Profile& profile, const std::filesystem::path& startupDirectory);

// Writes "brambly.prf" in `startupDirectory` under ScheduleLock. The old file is
// replaced only by a complete new one: on any failure it stays as it was and
// the result is false. False without writing while `profile.readFailure` is
// set. Nothing is reported to the user either way.
bool SaveProfile(const Profile& profile, const std::filesystem::path& startupDirectory);

// Adds an entry the way the schedule editor does (ScheduleTable::addEntry),
// under ScheduleLock. When the table cannot grow, shows the warning
// kTableGrowthFailedMessage and adds nothing. Returns the slot used.
std::optional<std::size_t> AddScheduleEntry(Profile& profile, const ScheduleEntry& entry,
                                            const MonitorOptions& options,
                                            platform::Prompter& prompter);

}  // namespace larkspan::schedule
