// The end of a scheduled recording: the stop at its end time, and the
// close-out of a finished one with the entry's used-up rule.

#include <mutex>

#include "platform/text.h"
#include "schedule/tick_run.h"

namespace larkspan::schedule {

void TickRun::endOrCloseOut(std::size_t u) {
  ScheduleEntry& e = entry(u);
  recording::RecordingJob* job = e.jobSlot >= 0 ? context_.jobTable.at(e.jobSlot) : nullptr;
  // The end is seen only during the end hour; a monitored mountpoint is never
  // stopped by the clock.
  if (now_.hour == e.endHour && now_.minute >= e.endMinute && e.jobSlot >= 0 && e.recordingThread &&
      e.running && e.monitorMountpoint == 0) {
    if (job != nullptr) job->stopRequested = true;
    e.running = 0;
    return;
  }
  if (e.jobSlot < 0) return;
  if (job != nullptr && !job->isFinished()) return;
  closeOut(u, job);
}

void TickRun::closeOut(std::size_t u, recording::RecordingJob* job) {
  ScheduleEntry& e = entry(u);
  const std::string programName(platform::FieldText(e.programName));
  if (job != nullptr) {
    const std::string status = job->status();
    if (status == "DONE RECORDING") {
      std::string& results = state().manualResultText;
      results = results == " " ? status : results + status;
      results += " - " + programName + "\r\n";
    }
    if (!platform::StartsWithIgnoringCase(status, "IDLE")) {
      state().statusText += status + " - " + programName + "\r\n";
    }
    trayTip_ = status;
    if (job->resetEntryEndCount) e.endCount = 0;
  }

  // CloseOutEntry. The thread has marked its job finished, its last act.
  const RecordingThreadRef thread = e.recordingThread;
  if (thread) thread->join();
  context_.jobTable.giveSlotBack(e.jobSlot);
  e.running = 0;
  applyUsedUpRule(e);

  const bool monitored = e.monitorMountpoint != 0;
  const std::string url(platform::FieldText(e.url));
  {
    const std::lock_guard scheduleLock(context_.profile.scheduleLock);
    RemoveFreeEntries(context_.profile.schedule);
    if (monitored) removeKnownMountpoints(url);
  }
  // The entry may have moved or gone; its thread reference identifies it.
  if (thread) {
    ScheduleTable& table = context_.profile.schedule;
    for (std::size_t i = 0; i < table.count(); ++i) {
      if (table.entry(i).recordingThread == thread) table.entry(i).recordingThread.reset();
    }
  }
  refreshWithGuard();
}

void TickRun::applyUsedUpRule(ScheduleEntry& e) {
  const bool usedUp =
      !e.repeating && (e.monitorMountpoint == 0 || e.deleteWhenDone || e.recordUntilDisconnect);
  if (!usedUp) {
    e.jobSlot = kJobSlotIdle;
    return;
  }
  e.days ^= e.startedDay;
  if (e.monitorMountpoint == 0) {
    e.jobSlot = (e.days & 0x7F) == 0 ? kJobSlotFree : kJobSlotIdle;
  } else if (!e.deleteWhenDone) {
    e.jobSlot = kJobSlotIdle;
  } else {
    const std::uint8_t before = e.endCount++;
    e.jobSlot = before > 50 ? kJobSlotFree : kJobSlotIdle;
  }
}

void TickRun::removeKnownMountpoints(const std::string& url) {
  // One pass that steps on after each removal, as the schedule's own
  // removal does: of two adjacent matches the second stays for next time.
  KnownMountpoints& known = context_.profile.knownMountpoints;
  for (std::size_t i = 0; i < known.size(); ++i) {
    if (platform::FieldText(known[i].url) == url)
      known.erase(known.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace larkspan::schedule
