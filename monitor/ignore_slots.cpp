#include "monitor/ignore_slots.h"

#include <cstring>
#include <utility>

namespace larkspan::monitor {
namespace {

constexpr std::size_t kEntrySlots = schedule::kEntryShortIgnoreSlots;  // short slots 1 to 6
constexpr std::size_t kFirstBlockEnd = 12;                             // short slots 7 to 12

// Where the stored records keep short slot `index` (from 0): its flag and its
// name field. Entry and Options are both const or both not.
template <typename Entry, typename Options>
auto StoredShortSlot(std::size_t index, Entry& entry, Options& options) {
  if (index >= kFirstBlockEnd) {
    const std::size_t at = index - kFirstBlockEnd;
    return std::pair{&options.shortIgnoreFlags13To24[at], &options.shortIgnoreNames13To24[at]};
  }
  if (index >= kEntrySlots) {
    const std::size_t at = index - kEntrySlots;
    return std::pair{&options.shortIgnoreFlags7To12[at], &options.shortIgnoreNames7To12[at]};
  }
  return std::pair{&entry.shortIgnoreFlags[index], &entry.shortIgnoreNames[index]};
}

}  // namespace

IgnoreSlots ReadIgnoreSlots(const schedule::ScheduleEntry& entry,
                            const schedule::MonitorOptions& options) {
  IgnoreSlots slots;
  for (std::size_t i = 0; i < kShortIgnoreSlots; ++i) {
    const auto [flag, name] = StoredShortSlot(i, entry, options);
    slots.shortFlags[i] = *flag;
    std::memcpy(slots.shortNames[i], *name, schedule::kShortIgnoreNameSize);
  }
  std::memcpy(slots.longFlags, options.longIgnoreFlags, sizeof slots.longFlags);
  std::memcpy(slots.longNames, options.longIgnoreNames, sizeof slots.longNames);
  std::memcpy(slots.extensions, options.ignoredExtensions, sizeof slots.extensions);
  return slots;
}

void WriteIgnoreSlots(const IgnoreSlots& slots, schedule::ScheduleEntry& entry,
                      schedule::MonitorOptions& options) {
  for (std::size_t i = 0; i < kShortIgnoreSlots; ++i) {
    const auto [flag, name] = StoredShortSlot(i, entry, options);
    *flag = slots.shortFlags[i];
    std::memcpy(*name, slots.shortNames[i], schedule::kShortIgnoreNameSize);
  }
  std::memcpy(options.longIgnoreFlags, slots.longFlags, kEditableLongSlots);
  std::memcpy(options.longIgnoreNames, slots.longNames,
              kEditableLongSlots * schedule::kLongIgnoreNameSize);
  std::memcpy(options.ignoredExtensions, slots.extensions, sizeof slots.extensions);
}

}  // namespace larkspan::monitor
