#include "monitor/find_new_mountpoints.h"

#include <algorithm>

#include "monitor/ignore_rules.h"
#include "monitor/status_page_address.h"
#include "monitor/status_page_scan.h"
#include "platform/text.h"

namespace larkspan::monitor {
namespace {

bool IsMonitoredAlready(const schedule::ScheduleTable& schedule, std::string_view url) {
  for (std::size_t i = 0; i < schedule.count(); ++i) {
    const schedule::ScheduleEntry& entry = schedule.entry(i);
    if (entry.monitorMountpoint == 1 && platform::FieldText(entry.url) == url) return true;
  }
  return false;
}

bool IsKnownAlready(const schedule::KnownMountpoints& known, std::string_view url) {
  return std::any_of(known.begin(), known.end(), [url](const schedule::KnownMountpoint& record) {
    const std::string_view pattern = platform::FieldText(record.url);
    return pattern == url || MatchWildcard(url, pattern);
  });
}

}  // namespace

std::vector<std::string> SelectNewMountpoints(const std::vector<std::string>& names,
                                              const schedule::ScheduleTable& schedule,
                                              const schedule::KnownMountpoints& known,
                                              std::string_view serverUrl, std::size_t entryIndex) {
  std::vector<std::string> found;
  const std::string_view base = MountpointBaseUrl(serverUrl);
  const bool hasIgnoreData = entryIndex < schedule.count();
  // Shared by the names already monitored and the new ones.
  std::size_t places = 0;
  for (const std::string& name : names) {
    const std::string url = std::string(base) + name;
    if (IsMonitoredAlready(schedule, url)) {
      ++places;
      continue;
    }
    if (IsKnownAlready(known, url)) continue;
    if (hasIgnoreData &&
        IsIgnoredMountpoint(name, schedule.entry(entryIndex), schedule.options(entryIndex)))
      continue;
    if (url.size() > kMaxMountpointUrlLength) continue;
    if (places >= kMaxNewPerPoll) continue;
    ++places;
    found.push_back(url);
  }
  return found;
}

std::int16_t FindNewMountpoints(const recording::RecordingJob& job,
                                const schedule::ScheduleTable& schedule,
                                const schedule::KnownMountpoints& known, std::string_view serverUrl,
                                std::vector<std::string>& newMountpoints, std::size_t entryIndex,
                                const StatusPageOptions& options, platform::Prompter& prompter) {
  newMountpoints.clear();
  const auto address = SplitStatusPageAddress(StatusPageAddress(serverUrl));
  if (!address) {
    prompter.warning(kCannotParseUrlMessage);
    return -1;
  }
  const std::string page = FetchStatusPage(job, *address, options);
  const std::vector<std::string> names = ScanStatusPage(page);
  if (names.empty()) return 0;
  newMountpoints = SelectNewMountpoints(names, schedule, known, serverUrl, entryIndex);
  return static_cast<std::int16_t>(newMountpoints.size());
}

}  // namespace larkspan::monitor
