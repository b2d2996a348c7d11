#include "monitor/ignore_rules.h"

#include <cctype>

#include "monitor/ignore_slots.h"
#include "platform/text.h"

namespace larkspan::monitor {
namespace {

// Short slots 19 to 24 are matched without looking at their flag.
constexpr std::size_t kFlaggedShortSlots = 18;
constexpr std::size_t kPasses = 6;
constexpr std::size_t kWildcardPatternLimit = 1024;

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (name == pattern || MatchWildcard(name, pattern)) return true;
  return pattern.starts_with('/') && name == pattern.substr(1);
}

bool MatchesExtension(std::string_view name, std::string_view extension) {
  return name.size() >= extension.size() &&
         platform::EqualsIgnoringCase(name.substr(name.size() - extension.size()), extension);
}

bool IsWhiteSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

int DayBit(int weekday) {
  return weekday >= 0 && weekday <= 6 ? 1 << weekday : 0;
}

bool IsIgnoreTime(const std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows,
                  int hour, int minute, int dayBit) {
  for (const schedule::IgnoreTimeRow& row : rows) {
    if (!row.enabled) continue;
    const bool afterStart =
        hour > row.startHour || (hour == row.startHour && minute >= row.startMinute);
    const bool beforeEnd = hour < row.endHour || (hour == row.endHour && minute < row.endMinute);
    if (afterStart && beforeEnd && (row.days & dayBit) != 0) return true;
  }
  return false;
}

bool IsIgnoredMountpoint(std::string_view name, const schedule::ScheduleEntry& entry,
                         const schedule::MonitorOptions& options) {
  const IgnoreSlots slots = ReadIgnoreSlots(entry, options);
  for (std::size_t pass = 0; pass < kPasses; ++pass) {
    for (std::size_t slot = pass; slot < kShortIgnoreSlots; slot += kPasses) {
      const std::string_view pattern = platform::FieldText(slots.shortNames[slot]);
      const bool takesPart = slot >= kFlaggedShortSlots || slots.shortFlags[slot] != 0;
      if (takesPart && !pattern.empty() && MatchesPattern(name, pattern)) return true;
    }
    for (std::size_t slot = pass; slot < schedule::kLongIgnoreSlots; slot += kPasses) {
      const std::string_view pattern = platform::FieldText(slots.longNames[slot]);
      if (!pattern.empty() && MatchesPattern(name, pattern)) return true;
    }
    const std::string_view extension = platform::FieldText(slots.extensions[pass]);
    if (!extension.empty() && MatchesExtension(name, extension)) return true;
  }
  return false;
}

bool MatchWildcard(std::string_view subject, std::string_view pattern) {
  if (pattern.find('*') == std::string_view::npos) return false;
  if (pattern == "*" || pattern == "*.*") return true;
  if (pattern.size() == 2 && pattern[1] == '*') return true;
  if (pattern.size() == 4 && pattern.substr(1) == "*.*") return true;

  pattern = pattern.substr(0, kWildcardPatternLimit);
  std::size_t at = 0;        // in the pattern
  std::size_t position = 0;  // in the subject
  while (true) {
    while (at < pattern.size() && IsWhiteSpace(pattern[at])) ++at;
    if (at == pattern.size()) return true;
    const std::size_t star = pattern.find('*', at);
    const std::string_view piece = pattern.substr(at, star - at);
    const std::size_t found = subject.find(piece, position);
    if (found == std::string_view::npos) return false;
    position = found + piece.size();
    if (star == std::string_view::npos) return true;
    at = star + 1;
  }
}

}  // namespace larkspan::monitor
