#include "schedule/scheduler_tick.h"

#include <algorithm>
#include <mutex>

#include "platform/text.h"
#include "schedule/control_text.h"
#include "schedule/tick_run.h"

namespace larkspan::schedule {
namespace {

bool BeginsWithIdle(std::string_view status) {
  return platform::StartsWithIgnoringCase(status, "IDLE");
}

std::int32_t DateOf(const platform::LocalTime& t) {
  return t.year * 10000 + t.month * 100 + t.day;
}

}  // namespace

void SchedulerTick(SchedulerContext& context) {
  TickRun(context).run();
}

void MarkDoneToday(ScheduleEntry& entry, const platform::LocalTime& today) {
  entry.doneToday = 1;
  entry.doneTodayDate = DateOf(today);
}

TickRun::TickRun(SchedulerContext& context) : context_(context) {}

void TickRun::refreshWithGuard() {
  state().statusRefreshGuard = true;
  context_.window.refreshControls();
  state().statusRefreshGuard = false;
}

void TickRun::run() {
  walk();
  // Shown after the lock is released: while a box is open, other ticks run
  // and take it themselves.
  for (const std::string& text : warnings_) context_.recording.prompter.warning(text);
}

void TickRun::walk() {
  const std::lock_guard jobTableLock(context_.jobTable.lock());
  now_ = context_.clock.localNow();
  todayBit_ = static_cast<std::uint8_t>(1u << now_.weekday);
  todayDate_ = DateOf(now_);
  context_.window.commitControls();
  CopyControlText(settings().recordingPath, context_.window.recordingPathText());

  trayTip_ = state().manualResultText;
  state().statusText = state().manualResultText == " " ? std::string() : state().manualResultText;

  for (std::size_t u = 0; u < context_.profile.schedule.count() && !ended_; ++u) visit(u);
  if (ended_) return;

  composeStatus();
  composeIdle();
  collectManualJob();
  updateTray();
}

void TickRun::visit(std::size_t u) {
  ScheduleEntry& e = entry(u);
  // Midnight: a tick in the first seconds of the day clears the mark, and so
  // does the first tick of any later day, in case no tick ran at midnight.
  if (now_.hour == 0 && now_.minute == 0 && now_.second < 10) e.doneToday = 0;
  if (e.doneToday) {
    if (e.doneTodayDate == 0)
      e.doneTodayDate = todayDate_;
    else if (e.doneTodayDate != todayDate_)
      e.doneToday = 0;
  }

  Next next = Next::CloseOut;
  if (!e.doneToday && !e.monitorServer) {
    if (e.jobSlot < 0 && startIsDue(e) && endHasNotPassed(e)) {
      next = start(u);
    } else if (e.monitorMountpoint == 1 && !holdsEmptiedSlot(e)) {
      // A failed start keeps its emptied slot until the close-out below gives
      // it back; starting again first would take a second slot and leave the
      // first reserved for good.
      const bool pollNow =
          now_.second <= 5 || (now_.second >= 27 && now_.second <= 31) || e.autoCreated;
      if (pollNow && !ignoreTimeCoversNow(e)) next = start(u);
    }
  }
  if (next == Next::EndTick) {
    ended_ = true;
    return;
  }
  if (next == Next::NextEntry) return;
  if (next == Next::CloseOut) endOrCloseOut(u);
  if (u < context_.profile.schedule.count()) {
    const ScheduleEntry& after = entry(u);
    if (after.jobSlot >= 0 && context_.jobTable.at(after.jobSlot) != nullptr)
      live_.push_back({after.jobSlot, std::string(platform::FieldText(after.programName))});
  }
}

bool TickRun::holdsEmptiedSlot(const ScheduleEntry& e) {
  return e.jobSlot >= 0 && context_.jobTable.at(e.jobSlot) == nullptr;
}

bool TickRun::startIsDue(const ScheduleEntry& e) const {
  const int h = now_.hour;
  const int m = now_.minute;
  const int s = now_.second;
  if (h == e.startHour && (m >= e.startMinute || (m == e.startMinute - 1 && s >= 50))) return true;
  if (e.startHour >= 1 && h == e.startHour - 1 && e.startMinute == 0 && m == 59 && s >= 50)
    return true;
  return h > e.startHour;
}

bool TickRun::endHasNotPassed(const ScheduleEntry& e) const {
  const int h = now_.hour;
  const int m = now_.minute;
  return h < e.endHour || (h == e.endHour && m < e.endMinute) || e.endHour < e.startHour ||
         (h == e.startHour && m == e.startMinute);
}

bool TickRun::ignoreTimeCoversNow(const ScheduleEntry& e) const {
  const int minute = now_.hour * 60 + now_.minute;
  return std::any_of(e.ignoreTimes.begin(), e.ignoreTimes.end(), [&](const IgnoreTimeRow& row) {
    return row.enabled && (row.days & todayBit_) &&
           minute >= row.startHour * 60 + row.startMinute &&
           minute <= row.endHour * 60 + row.endMinute;
  });
}

void TickRun::composeStatus() {
  // Entries in the order of their job slots. The box is written once after
  // the walk: nothing can paint it in between on this thread.
  std::sort(live_.begin(), live_.end(),
            [](const LiveEntry& a, const LiveEntry& b) { return a.slot < b.slot; });
  for (const LiveEntry& live : live_) {
    const recording::RecordingJob* job = context_.jobTable.at(live.slot);
    if (job == nullptr) continue;
    const std::string status = job->status();
    if (BeginsWithIdle(status)) continue;
    state().statusText += status + " - " + live.programName;
    trayTip_ = state().statusText;
    state().statusText += "\r\n";
    state().idleTopicSent = false;
  }
  if (!live_.empty()) {
    if (state().inTray) context_.window.refreshTrayIcon();
    refreshWithGuard();
  }
  if (const recording::RecordingJob* manual = context_.manualJob.get()) {
    state().statusText += manual->status();
    trayTip_ = state().statusText;
    state().statusText += "\r\n";
    refreshWithGuard();
    if (state().inTray) context_.window.refreshTrayIcon();
    state().idleTopicSent = false;
  }
}

void TickRun::composeIdle() {
  const bool nothingShown =
      live_.empty() && !context_.manualJob.exists() && state().manualResultText == " ";
  if (!nothingShown && !state().statusText.empty()) return;
  trayTip_ = "IDLE";
  state().statusText = "IDLE\r\n";
  const ProfileSettings& s = settings();
  if (s.ircUpdateTopic && context_.ircClient != nullptr && s.ircAutoPost &&
      !state().idleTopicSent) {
    context_.ircClient->SendRaw(platform::Format(
        "TOPIC %s :%s\r\n", context_.ircClient->Channel().c_str(), "LKS currently idle"));
  }
  if (s.ircUpdateTopic) state().idleTopicSent = true;
  refreshWithGuard();
  if (state().inTray) context_.window.refreshTrayIcon();
}

void TickRun::collectManualJob() {
  const recording::RecordingJob* manual = context_.manualJob.get();
  if (manual == nullptr || !manual->isFinished()) return;
  const std::string status = manual->status();
  std::string& results = state().manualResultText;
  results = results == " " ? status : results + status;
  results += "\r\n";
  context_.manualJob.releaseIfFinished();
}

void TickRun::updateTray() {
  if (!state().inTray) return;
  const auto& table = context_.profile.schedule;
  bool anyRunning = false;
  for (std::size_t u = 0; u < table.count() && !anyRunning; ++u)
    anyRunning = table.entry(u).running > 0;
  if (!anyRunning) context_.recording.trayIconFile.set(recording::TrayIconFile::kIdle);
  context_.window.updateTrayIcon(trayTip_.substr(0, 127));
}

void StopScheduledRecordings(Profile& profile, recording::JobTable& jobTable) {
  const std::lock_guard jobTableLock(jobTable.lock());
  ScheduleTable& table = profile.schedule;
  // Every recording is asked first and waited for afterwards, so that their
  // ends (and conversions) overlap instead of following each other.
  for (std::size_t u = 0; u < table.count(); ++u) {
    if (recording::RecordingJob* job = jobTable.at(table.entry(u).jobSlot))
      job->stopRequested = true;
  }
  for (std::size_t u = 0; u < table.count(); ++u) {
    ScheduleEntry& e = table.entry(u);
    if (e.recordingThread) e.recordingThread->join();
    e.recordingThread.reset();
    if (e.jobSlot >= 0) jobTable.giveSlotBack(e.jobSlot);
    if (e.jobSlot >= 0) e.jobSlot = kJobSlotIdle;
    e.running = 0;
  }
  const std::lock_guard scheduleLock(profile.scheduleLock);
  for (std::size_t u = table.count(); u-- > 0;) {
    if (!table.entry(u).keep) table.eraseEntry(u);
  }
}

}  // namespace larkspan::schedule
