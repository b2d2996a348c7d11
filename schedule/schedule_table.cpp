#include "schedule/schedule_table.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

namespace larkspan::schedule {

ScheduleTable::ScheduleTable(std::size_t maxCapacity)
    : maxCapacity_(std::max(maxCapacity, kInitialCapacity)) {
  reset();
}

void ScheduleTable::setCount(std::size_t count) {
  if (count > capacity()) throw std::out_of_range("schedule count beyond capacity");
  count_ = count;
}

void ScheduleTable::reset(std::size_t capacity) {
  // Fresh vectors rather than assign(): assign keeps the old, possibly much
  // larger, allocation.
  std::vector<ScheduleEntry> entries(capacity);
  std::vector<MonitorOptions> options(capacity);
  entries_.swap(entries);
  options_.swap(options);
  count_ = 0;
}

bool ScheduleTable::grow() {
  const std::size_t oldCapacity = capacity();
  if (oldCapacity > maxCapacity_ / 2) return false;
  const std::size_t newCapacity = oldCapacity * 2;
  // Reserve both first: once both allocations have succeeded nothing below can
  // fail, so a failure leaves the table exactly as it was.
  try {
    entries_.reserve(newCapacity);
    options_.reserve(newCapacity);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  entries_.resize(newCapacity);
  options_.resize(newCapacity);
  return true;
}

std::optional<std::size_t> ScheduleTable::addEntry(const ScheduleEntry& entry,
                                                   const MonitorOptions& options) {
  if (count_ < capacity()) entries_[count_].jobSlot = kJobSlotFree;
  if (count_ >= capacity()) {
    if (!grow()) return std::nullopt;
  }
  // The slot at the count is Free now, so the search always ends.
  const auto free = std::find_if(entries_.begin(), entries_.end(),
                                 [](const ScheduleEntry& e) { return e.jobSlot == kJobSlotFree; });
  const auto slot = static_cast<std::size_t>(free - entries_.begin());
  entries_[slot] = entry;
  options_[slot] = options;
  if (slot >= count_) count_ = slot + 1;
  return slot;
}

std::optional<std::size_t> ScheduleTable::appendEntry(const ScheduleEntry& entry,
                                                      const MonitorOptions& options) {
  if (count_ >= capacity() && !grow()) return std::nullopt;
  const std::size_t slot = count_;
  entries_[slot] = entry;
  options_[slot] = options;
  count_ = slot + 1;
  return slot;
}

void ScheduleTable::eraseEntry(std::size_t slot) {
  if (slot >= count_) throw std::out_of_range("no schedule entry at this slot");
  std::move(entries_.begin() + slot + 1, entries_.begin() + count_, entries_.begin() + slot);
  std::move(options_.begin() + slot + 1, options_.begin() + count_, options_.begin() + slot);
  --count_;
  clearSlots(count_, count_ + 1);
}

void ScheduleTable::clearSlots(std::size_t first, std::size_t last) {
  std::fill(entries_.begin() + first, entries_.begin() + last, ScheduleEntry{});
  std::fill(options_.begin() + first, options_.begin() + last, MonitorOptions{});
}

void RemoveFreeEntries(ScheduleTable& table) {
  // One pass of compaction that gives the same result as removing one entry at
  // a time while walking the indexes: the entry that follows a removed one
  // slides into the index just examined and is therefore kept unexamined.
  const std::size_t count = table.count();
  std::size_t kept = 0;
  bool examine = true;
  for (std::size_t i = 0; i < count; ++i) {
    const bool remove = examine && table.entry(i).jobSlot == kJobSlotFree;
    examine = !remove;
    if (remove) continue;
    if (kept != i) {
      table.entry(kept) = std::move(table.entry(i));
      table.options(kept) = table.options(i);
    }
    ++kept;
  }
  for (std::size_t i = kept; i < count; ++i) {
    table.entry(i) = ScheduleEntry{};
    table.options(i) = MonitorOptions{};
  }
  table.setCount(kept);
}

}  // namespace larkspan::schedule
