#include "monitor/mountpoint_entry.h"

#include "platform/text.h"
#include "schedule/name_key.h"

namespace larkspan::monitor {

std::string MountpointProgramName(std::string_view url) {
  const std::size_t slash = url.rfind('/');
  std::string name(slash == std::string_view::npos ? url : url.substr(slash + 1));
  name.append(" mountpoint");
  for (char& c : name) {
    if (c == ',' || c == '.' || c == '\\') c = ' ';
  }
  return name;
}

std::optional<std::size_t> AddMountpointEntry(schedule::ScheduleTable& schedule,
                                              const NewMountpointEntry& values) {
  schedule::ScheduleEntry entry;
  platform::CopyToField(entry.url, values.url);
  platform::CopyToField(entry.programName, MountpointProgramName(values.url));
  entry.nameKey = schedule::nameKey(platform::FieldText(entry.programName));
  entry.days = values.monitor ? 0 : values.todayBit;
  entry.repeating = 0;
  entry.startHour = values.fromHour;
  entry.startMinute = values.fromMinute;
  entry.endHour = values.toHour;
  entry.endMinute = values.toMinute;
  entry.monitorMountpoint = values.monitor ? 1 : 0;
  entry.recordUntilDisconnect = values.untilDisconnect ? 1 : 0;
  entry.autoCreated = 1;
  entry.deleteWhenDone = 1;
  entry.timeout = values.timeout;
  entry.bitrate = 128;
  entry.jobSlot = schedule::kJobSlotIdle;
  entry.keep = 0;
  return schedule.appendEntry(entry, schedule::MonitorOptions{});
}

}  // namespace larkspan::monitor
