#include "monitor/server_monitor.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "irc/keep_alive.h"
#include "monitor/find_new_mountpoints.h"
#include "monitor/ignore_rules.h"
#include "monitor/mountpoint_entry.h"
#include "platform/text.h"
#include "recording/recording_job.h"

namespace larkspan::monitor {
namespace {

bool InPollWindow(int second) {
  return second >= 0 && second < 60 && second % 15 < 5;
}

// What the tick reads of the entry whose server it polled, and what tells
// that entry apart when the tick looks for it again.
struct MonitoringEntry {
  std::size_t index = 0;
  std::string programName;
  std::string url;
  std::int8_t level = 0;
  std::int16_t timeout = 0;
  std::int32_t nameKey = 0;
};

MonitoringEntry ReadMonitoringEntry(const schedule::ScheduleTable& schedule, std::size_t index) {
  const schedule::ScheduleEntry& entry = schedule.entry(index);
  return {index,
          std::string(platform::FieldText(entry.programName)),
          std::string(platform::FieldText(entry.url)),
          entry.monitorLevel,
          entry.timeout,
          entry.nameKey};
}

// The entry again after a question or a dialog, during which the scheduler
// tick may have removed entries. Removals only move later entries towards the
// start, and new entries are appended at the end, so the entry is the first
// one with its name and server URL at or below where it was. Nothing when it
// is gone.
std::optional<MonitoringEntry> FindAgain(const schedule::ScheduleTable& schedule,
                                         const MonitoringEntry& before) {
  for (std::size_t i = std::min(before.index + 1, schedule.count()); i-- > 0;) {
    const schedule::ScheduleEntry& entry = schedule.entry(i);
    if (entry.monitorServer != 0 && platform::FieldText(entry.url) == before.url &&
        platform::FieldText(entry.programName) == before.programName)
      return ReadMonitoringEntry(schedule, i);
  }
  return std::nullopt;
}

// Clears the busy flag however the tick ends.
class BusyFlag {
 public:
  explicit BusyFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyFlag() { flag_ = false; }
  BusyFlag(const BusyFlag&) = delete;
  BusyFlag& operator=(const BusyFlag&) = delete;

 private:
  bool& flag_;
};

// One poll of every monitored server, inside a poll window, or of as many
// as its time allows.
class MonitorTick {
 public:
  MonitorTick(const MonitorContext& context, const platform::LocalTime& now, std::size_t& resumeAt)
      : c_(context), now_(now), dayBit_(DayBit(now.weekday)), resumeAt_(resumeAt) {
    // The request context of every fetch; it is never started.
    job_.settings = &c_.profile.settings;
  }

  void run() {
    // The count is read afresh: entries made during the tick are visited too
    // (and passed over, since they monitor no server). A poll that ran out of
    // time left the entries from resumeAt_ on to this one; the entries before
    // them come last.
    const std::size_t first = std::min(resumeAt_, count());
    resumeAt_ = 0;
    std::size_t i = first;
    while (i < count() && haveTimeFor(i)) i = pollEntry(i);
    if (outOfTime_) return;
    for (i = 0; i < std::min(first, count()) && haveTimeFor(i);) i = pollEntry(i);
  }

 private:
  std::size_t count() const { return c_.profile.schedule.count(); }

  // False once the poll's time is spent; the entry at `next` is then the
  // first of the next poll.
  bool haveTimeFor(std::size_t next) {
    if (spent_ < c_.pollBudget) return true;
    outOfTime_ = true;
    resumeAt_ = next;
    return false;
  }

  // The fetch limits, cut to what is left of the poll's time.
  StatusPageOptions fetchOptions() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(c_.pollBudget - spent_);
    StatusPageOptions options = c_.statusPage;
    options.connectTimeout = std::min(options.connectTimeout, left);
    options.readTimeout = std::min(options.readTimeout, left);
    options.fetchTimeout = std::min(options.fetchTimeout, left);
    return options;
  }

  // Returns the index of the next entry to visit.
  std::size_t pollEntry(std::size_t index) {
    const schedule::ScheduleTable& schedule = c_.profile.schedule;
    const schedule::ScheduleEntry& entry = schedule.entry(index);
    if (entry.monitorServer == 0) return index + 1;
    if (IsIgnoreTime(entry.ignoreTimes, now_.hour, now_.minute, dayBit_)) return index + 1;

    const MonitoringEntry polled = ReadMonitoringEntry(schedule, index);
    const std::string& serverUrl = polled.url;
    const schedule::ProfileSettings& settings = c_.profile.settings;
    recording::SetUpRecordingJob(job_,
                                 {.url = serverUrl,
                                  .outputFile = "output.mp3",
                                  .shoutcast = false,
                                  .bitrate = 96,
                                  .persistent = false,
                                  .extension = "mp3",
                                  .monitorMountpoint = false,
                                  .entryIndex = static_cast<std::int32_t>(index),
                                  .startSound = settings.startSound != 0,
                                  .startSoundFile = platform::FieldText(settings.startSoundFile),
                                  .disableSounds = settings.disableSounds != 0,
                                  .ircClient = c_.ircClient,
                                  .updateTopic = settings.ircUpdateTopic != 0});
    std::vector<std::string> found;
    // Real time: that is what the window's thread is held up for, whatever
    // clock the tick reads the time of day from.
    const auto began = std::chrono::steady_clock::now();
    const std::int16_t n = FindNewMountpoints(job_, schedule, c_.profile.knownMountpoints,
                                              serverUrl, found, index, fetchOptions(), c_.prompter);
    c_.clock.sleepFor(c_.pauseAfterPoll);
    // Without an address there was no fetch, only the "Cannot parse URL"
    // box, which takes the user's time, not the poll's.
    if (n >= 0) spent_ += std::chrono::steady_clock::now() - began;
    // "Cannot parse URL" is a box, during which the entry may have moved.
    auto again = FindAgain(schedule, polled);
    if (!again) return polled.index;
    if (n < 1) return again->index + 1;
    return actOn(std::move(*again), found);
  }

  std::size_t actOn(MonitoringEntry entry, const std::vector<std::string>& urls) {
    log(platform::Format("%zu new mountpoint[s] found at %d:%d on %d-%d-%d\n", urls.size(),
                         now_.hour, now_.minute, now_.month, now_.day, now_.year));
    if (entry.level == 2) c_.tone.play(kBeepFrequencyHz, kBeepDurationMs);

    for (const std::string& url : urls) {
      log("Found at " + platform::SingleLine(url) + "\n");
      if (entry.level == 5) {
        addEntry(url, {.monitorContinuously = true}, entry.timeout);
        continue;
      }
      if (entry.level <= 0) {
        remember(url, entry.nameKey);
        continue;
      }

      const bool yes = c_.prompter.askYesNo(platform::Format(kNewMountpointQuestion, url.c_str()));
      auto again = FindAgain(c_.profile.schedule, entry);
      if (!again) return entry.index;
      entry = std::move(*again);
      if (!yes) {
        remember(url, entry.nameKey);
        continue;
      }
      // The values of one dialog of this tick, confirmed or as they opened.
      const bool confirmed = c_.recordMountpointDialog.exec(dialogValues_);
      again = FindAgain(c_.profile.schedule, entry);
      if (!again) return entry.index;
      entry = std::move(*again);
      // Cancel makes nothing and remembers nothing: the mountpoint is offered
      // again at the next poll.
      if (confirmed) addEntry(url, dialogValues_, entry.timeout);
    }
    return entry.index + 1;
  }

  void remember(const std::string& url, std::int32_t ownerKey) {
    const std::scoped_lock lock(c_.profile.scheduleLock);
    schedule::RememberMountpoint(c_.profile.knownMountpoints, url, ownerKey);
  }

  void addEntry(const std::string& url, const RecordMountpointValues& values,
                std::int16_t timeout) {
    const std::scoped_lock lock(c_.profile.scheduleLock);
    AddMountpointEntry(c_.profile.schedule,
                       {.url = url,
                        .monitor = values.monitorContinuously || values.recordUntilDisconnect,
                        .untilDisconnect = values.recordUntilDisconnect,
                        .fromHour = values.fromHour,
                        .fromMinute = values.fromMinute,
                        .toHour = values.toHour,
                        .toMinute = values.toMinute,
                        .timeout = timeout,
                        .todayBit = static_cast<std::uint8_t>(dayBit_)});
  }

  // A line that cannot be written is skipped.
  void log(const std::string& line) { c_.log.append(line); }

  const MonitorContext& c_;
  const platform::LocalTime now_;
  const int dayBit_;
  std::size_t& resumeAt_;
  std::chrono::steady_clock::duration spent_{};  // on fetches and pauses
  bool outOfTime_ = false;
  recording::RecordingJob job_;
  // One record-options dialog per tick: a second question of the tick opens
  // it with the values confirmed in the first.
  RecordMountpointValues dialogValues_;
};

}  // namespace

void ServerMonitor::MonitorServers(const MonitorContext& context) {
  if (busy_) return;
  const BusyFlag busy(busy_);
  const platform::LocalTime now = context.clock.localNow();
  if (!InPollWindow(now.second)) return;

  const std::scoped_lock jobTableLock(context.jobs.lock());
  const schedule::ProfileSettings& settings = context.profile.settings;
  irc::SendIrcKeepAlive(
      context.ircClient,
      {.autoPosting = settings.ircAutoPost != 0, .chatterMode = settings.chatterMode != 0},
      context.random, context.reconnectIrc);
  MonitorTick(context, now, resumeAt_).run();
}

}  // namespace larkspan::monitor
