#include "monitor/record_mountpoint_dialog.h"

namespace larkspan::monitor {

std::optional<TimeRefusal> CheckTimes(const RecordMountpointValues& v) {
  const int values[] = {v.fromHour, v.fromMinute, v.toHour, v.toMinute};
  for (int field = 0; field < 4; ++field) {
    const int highest = field % 2 == 0 ? 23 : 59;
    if (values[field] < 0 || values[field] > highest)
      return TimeRefusal{field,
                         "Please enter an integer between 0 and " + std::to_string(highest) + "."};
  }
  return std::nullopt;
}

}  // namespace larkspan::monitor
