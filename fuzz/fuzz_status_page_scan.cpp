// Scans arbitrary bytes as a status page, then lets the names meet the
// known-mountpoint patterns and the ignore rules as a poll does: nothing may
// crash or read out of bounds, and the names must keep to their limits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/find_new_mountpoints.h"
#include "monitor/status_page_scan.h"
#include "platform/text.h"

namespace {

using namespace larkspan;

schedule::ScheduleTable MonitoringSchedule() {
  schedule::ScheduleEntry server;
  platform::CopyToField(server.url, "http://127.0.0.1:8000/");
  server.monitorServer = 1;
  server.shortIgnoreFlags[0] = 1;
  platform::CopyToField(server.shortIgnoreNames[0], "/ads*");
  schedule::MonitorOptions options;
  platform::CopyToField(options.longIgnoreNames[0], "* *live**");
  platform::CopyToField(options.ignoredExtensions[0], "aac");
  // A mountpoint recorded whenever it is on the air takes up one of a poll's
  // places when the page lists it.
  schedule::ScheduleEntry mountpoint;
  platform::CopyToField(mountpoint.url, "http://127.0.0.1:8000/live.mp3");
  mountpoint.monitorMountpoint = 1;
  schedule::ScheduleTable table;
  table.appendEntry(server, options);
  table.appendEntry(mountpoint, {});
  return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> names = monitor::ScanStatusPage(page);
  if (names.size() > monitor::kMaxPageNames) __builtin_trap();
  for (const std::string& name : names) {
    if (name.empty() || name[0] != '/' || name.size() > monitor::kMaxNameLength ||
        name.find('\0') != std::string::npos)
      __builtin_trap();
  }

  // Every other name comes back as a known URL, which is also read as a
  // pattern: remote text ends up on both sides of the match.
  const schedule::ScheduleTable table = MonitoringSchedule();
  schedule::KnownMountpoints known;
  for (std::size_t i = 0; i < names.size(); i += 2) {
    schedule::KnownMountpoint record;
    platform::CopyToField(record.url, "http://127.0.0.1:8000" + names[i]);
    known.push_back(record);
  }
  const auto found =
      monitor::SelectNewMountpoints(names, table, known, "http://127.0.0.1:8000/", 0);
  if (found.size() > monitor::kMaxNewPerPoll) __builtin_trap();
  for (const std::string& url : found) {
    if (url.size() > monitor::kMaxMountpointUrlLength) __builtin_trap();
  }
  return 0;
}
