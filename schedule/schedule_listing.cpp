#include "schedule/schedule_listing.h"

#include <tuple>

#include "platform/text.h"

namespace larkspan::schedule {
namespace {

constexpr std::size_t kLineLimit = 1023;
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

bool Monitored(const ScheduleEntry& e) {
  return e.monitorMountpoint == 1 || e.monitorServer == 1;
}

// The first weekday's bit value, the start hour and minute, compared as
// unsigned numbers.
std::tuple<unsigned, std::uint32_t, std::uint32_t> Key(const ScheduleEntry& e) {
  const unsigned days = e.days;
  return {days & (~days + 1), static_cast<std::uint32_t>(e.startHour),
          static_cast<std::uint32_t>(e.startMinute)};
}

const char* YesNo(std::int32_t flag) {
  return (flag & 1) ? "YES" : "NO";
}

std::string Cut(std::string line) {
  if (line.size() > kLineLimit) line.resize(kLineLimit);
  return line;
}

}  // namespace

bool IsListed(const ScheduleEntry& e) {
  return e.jobSlot != kJobSlotFree && e.keep != 0 && (e.days != 0 || Monitored(e));
}

std::vector<std::size_t> ListingOrder(const ScheduleTable& table) {
  std::vector<std::size_t> order;
  std::size_t cursor = 0;
  for (std::size_t n = 0; n < table.count(); ++n) {
    const ScheduleEntry& e = table.entry(n);
    if (!IsListed(e)) continue;
    if (order.empty()) {
      order.push_back(n);
      cursor = 0;
      continue;
    }
    const bool monitored = Monitored(e);
    const auto at = [&](std::size_t i) -> const ScheduleEntry& { return table.entry(order[i]); };
    const ScheduleEntry& m = at(cursor);
    if ((Monitored(m) && !monitored) || (!monitored && Key(e) < Key(m))) {
      while (cursor > 0 &&
             ((Monitored(at(cursor - 1)) && !monitored) || Key(e) < Key(at(cursor - 1))))
        --cursor;
      order.insert(order.begin() + static_cast<std::ptrdiff_t>(cursor), n);
    } else {
      while (cursor + 1 < order.size() &&
             ((!Monitored(at(cursor + 1)) && monitored) ||
              (Key(e) > Key(at(cursor + 1)) && at(cursor + 1).monitorMountpoint != 1)))
        ++cursor;
      ++cursor;
      order.insert(order.begin() + static_cast<std::ptrdiff_t>(cursor), n);
    }
  }
  return order;
}

std::array<std::string, kLinesPerEntry> ListingLines(std::size_t number, const ScheduleEntry& e) {
  const std::string name(platform::FieldText(e.programName));
  std::array<std::string, kLinesPerEntry> lines;
  lines[0] = platform::Format("[%zu] Program: %s", number, name.c_str());
  const std::string results =
      platform::Format("Shoutcast: %s Convert: %s Bitrate: %d kbps Delete original: %s",
                       YesNo(e.shoutcast), YesNo(e.convert), e.bitrate, YesNo(e.deleteOriginal));
  if (e.monitorMountpoint != 0) {
    lines[1] = "   Continuously monitored mountpoint";
    lines[2] = "   " + results;
    lines[3] = "No additional information";
  } else {
    lines[1] = platform::Format("   Start time: %02d:%02d   End time: %02d:%02d", e.startHour,
                                e.startMinute, e.endHour, e.endMinute);
    std::string days;
    for (unsigned day = 0; day < std::size(kDayNames); ++day) {
      if (e.days & (1u << day)) days += std::string(kDayNames[day]) + " ";
    }
    lines[2] = "   Day(s): " + days + " ";
    lines[3] = platform::Format("   Repeating: %s ", YesNo(e.repeating)) + results;
  }
  for (std::string& line : lines) line = Cut(std::move(line));
  return lines;
}

std::optional<std::size_t> EntryAtLine(const std::vector<std::size_t>& order, std::size_t line) {
  const std::size_t position = line / kLinesPerEntry;
  if (position >= order.size()) return std::nullopt;
  return order[position];
}

}  // namespace larkspan::schedule
