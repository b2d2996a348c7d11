#include "schedule/stop_list.h"

#include <algorithm>
#include <mutex>

#include "platform/text.h"
#include "schedule/scheduler_tick.h"

namespace larkspan::schedule {
namespace {

// The entry that holds `row`'s slot now: the row's own index while it still
// does, else wherever the entry has moved (slots are unique among entries).
ScheduleEntry* EntryOf(const StopRow& row, ScheduleTable& table) {
  if (row.entryIndex < table.count() && table.entry(row.entryIndex).jobSlot == row.jobSlot)
    return &table.entry(row.entryIndex);
  for (std::size_t u = 0; u < table.count(); ++u) {
    if (table.entry(u).jobSlot == row.jobSlot) return &table.entry(u);
  }
  return nullptr;
}

bool SameRecording(const StopRow& a, const StopRow& b) {
  return a.jobSlot == b.jobSlot && a.job == b.job;
}

}  // namespace

std::vector<StopRow> ListStoppableRecordings(Profile& profile, recording::JobTable& jobTable) {
  const std::lock_guard jobTableLock(jobTable.lock());
  std::vector<StopRow> rows;
  const ScheduleTable& table = profile.schedule;
  for (std::size_t u = 0; u < table.count(); ++u) {
    const ScheduleEntry& e = table.entry(u);
    const recording::RecordingJob* job = jobTable.at(e.jobSlot);
    if (job == nullptr) continue;
    const std::string status = job->status().substr(0, 1023);
    if (platform::StartsWithIgnoringCase(status, "IDLE")) continue;
    rows.push_back({.entryIndex = u,
                    .jobSlot = e.jobSlot,
                    .job = job,
                    .programName = std::string(platform::FieldText(e.programName))});
  }
  return rows;
}

std::string StopRowText(std::size_t position, const StopRow& row) {
  return platform::Format("[%zu] %s", position + 1, row.programName.c_str());
}

std::optional<StopRow> RowToStop(std::vector<StopRow>& rows, std::size_t picked, Profile& profile,
                                 recording::JobTable& jobTable, platform::Prompter& prompter) {
  if (picked >= rows.size()) return std::nullopt;
  const StopRow shown = rows[picked];
  const ScheduleTable& table = profile.schedule;
  const bool upToDate =
      shown.entryIndex < table.count() && table.entry(shown.entryIndex).jobSlot == shown.jobSlot;
  if (upToDate) return shown;

  rows = ListStoppableRecordings(profile, jobTable);
  if (picked < rows.size()) return rows[picked];
  const auto same = std::find_if(rows.begin(), rows.end(),
                                 [&](const StopRow& r) { return SameRecording(r, shown); });
  if (same != rows.end()) return *same;
  prompter.warning(kRecordingTerminatedMessage);
  return std::nullopt;
}

bool StopRecordingOfRow(const StopRow& row, Profile& profile, recording::JobTable& jobTable,
                        platform::Prompter& prompter, const platform::LocalTime& today) {
  // Whether the row's recording still runs, looked up afresh each time: the
  // question's box lets ticks run that close recordings out and move entries.
  const auto stillRunning = [&]() -> ScheduleEntry* {
    // The job's address alone could be a new job's, so the name counts too.
    ScheduleEntry* e = EntryOf(row, profile.schedule);
    if (e == nullptr || jobTable.at(row.jobSlot) != row.job ||
        platform::FieldText(e->programName) != row.programName)
      return nullptr;
    return e;
  };
  {
    const std::lock_guard jobTableLock(jobTable.lock());
    if (row.job == nullptr || stillRunning() == nullptr) {
      prompter.warning(kRecordingTerminatedMessage);
      return false;
    }
  }
  if (!prompter.askYesNo("Stop recording?")) return false;

  const std::lock_guard jobTableLock(jobTable.lock());
  ScheduleEntry* e = stillRunning();
  if (e == nullptr) {
    prompter.warning(kRecordingTerminatedMessage);
    return false;
  }
  jobTable.at(row.jobSlot)->stopRequested.store(true, std::memory_order_release);
  e->running = 0;
  MarkDoneToday(*e, today);
  return true;
}

}  // namespace larkspan::schedule
