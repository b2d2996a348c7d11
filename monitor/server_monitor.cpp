#include "monitor/server_monitor.h"

#include <algorithm>
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

// One poll of every monitored server, inside a poll window.
class MonitorTick {
 public:
  MonitorTick(const MonitorContext& context, const platform::LocalTime& now)
      : c_(context), now_(now), dayBit_(DayBit(now.weekday)) {
    // The request context of every fetch; it is never started.
    job_.settings = &c_.profile.settings;
  }

  void run() {
    // The count is read afresh: entries made during the tick are visited too
    // (and passed over, since they monitor no server).
    for (std::size_t i = 0; i < c_.profile.schedule.count();) i = pollEntry(i);
  }

 private:
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
    const std::int16_t n = FindNewMountpoints(job_, schedule, c_.profile.knownMountpoints,
                                              serverUrl, found, index, c_.statusPage, c_.prompter);
    c_.clock.sleepFor(c_.pauseAfterPoll);
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
      log(platform::Format("Found at %s\n", url.c_str()));
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
      context.random);
  MonitorTick(context, now).run();
}

}  // namespace larkspan::monitor
