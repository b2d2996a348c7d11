#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/prompter.h"
#include "recording/job_table.h"
#include "schedule/profile.h"

namespace larkspan::schedule {

// One row of the stop window: a scheduled or monitored recording that runs.
struct StopRow {
  std::size_t entryIndex = 0;
  std::int32_t jobSlot = kJobSlotIdle;
  // Which job the row was made for. Only compared, never followed: the slot
  // may hold another job by the time the user picks the row.
  const recording::RecordingJob* job = nullptr;
  std::string programName;

  friend bool operator==(const StopRow&, const StopRow&) = default;
};

// The recordings the user can stop, in schedule order: entries whose slot
// holds a job whose status does not begin with "IDLE". Takes JobTableLock.
std::vector<StopRow> ListStoppableRecordings(Profile& profile, recording::JobTable& jobTable);

// The row text "[n] name", n counted from 1.
std::string StopRowText(std::size_t position, const StopRow& row);

// The row to stop when the user double-clicked position `picked` of `rows`.
// When the picked row's entry no longer holds the slot it was listed with,
// the list is out of date: `rows` is filled again, and the row used is the
// same position while it exists, else the row that now shows the recording
// the picked row showed. Warns "Recording already terminated" and gives
// nothing when no row is left to use.
std::optional<StopRow> RowToStop(std::vector<StopRow>& rows, std::size_t picked, Profile& profile,
                                 recording::JobTable& jobTable, platform::Prompter& prompter);

// Asks "Stop recording?" about `row` and, on Yes, stops it for the rest of
// the day. "Recording already terminated" when the recording has ended, before
// the question or while it was open (timers keep running under a box, so a
// tick may close the recording out or move entries meanwhile). True when a
// stop was requested.
bool StopRecordingOfRow(const StopRow& row, Profile& profile, recording::JobTable& jobTable,
                        platform::Prompter& prompter, const platform::LocalTime& today);

inline constexpr const char* kRecordingTerminatedMessage = "Recording already terminated";

}  // namespace larkspan::schedule
