#include "schedule/schedule_table.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

namespace larkspan::schedule {

ScheduleTable::ScheduleTable(std::size_t maxCapacity)
    : maxCapacity_(std::max(maxCapacity, kInitialCapacity)) {}

void ScheduleTable::setCount(std::size_t count) {
  if (count > capacity_) throw std::out_of_range("schedule count beyond capacity");
  entries_.resize(count);
  options_.resize(count);
}

void ScheduleTable::reset(std::size_t capacity) {
  // Fresh vectors rather than clear(): clear keeps the old, possibly much
  // larger, allocation.
  decltype(entries_)().swap(entries_);
  decltype(options_)().swap(options_);
  capacity_ = std::clamp(capacity, kInitialCapacity, maxCapacity_);
}

void ScheduleTable::reserve(std::size_t entries) {
  entries = std::min(entries, capacity_);
  entries_.reserve(entries);
  options_.reserve(entries);
}

bool ScheduleTable::grow() {
  if (capacity_ > maxCapacity_ / 2) return false;
  const std::size_t doubled = capacity_ * 2;
  // reserve() either succeeds or leaves the vector as it was.
  try {
    entries_.reserve(doubled);
    options_.reserve(doubled);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  capacity_ = doubled;
  return true;
}

std::optional<std::size_t> ScheduleTable::addEntry(const ScheduleEntry& entry,
                                                   const MonitorOptions& options) {
  if (count() >= capacity_ && !grow()) return std::nullopt;
  const auto free = std::find_if(entries_.begin(), entries_.end(),
                                 [](const ScheduleEntry& e) { return e.jobSlot == kJobSlotFree; });
  if (free == entries_.end()) return appendEntry(entry, options);
  const auto slot = static_cast<std::size_t>(free - entries_.begin());
  entries_[slot] = entry;
  options_[slot] = options;
  return slot;
}

std::optional<std::size_t> ScheduleTable::appendEntry(const ScheduleEntry& entry,
                                                      const MonitorOptions& options) {
  if (count() >= capacity_ && !grow()) return std::nullopt;
  // Below the capacity the vectors may still reallocate (the first 1,024 slots
  // are not reserved up front); such a failure throws like any allocation.
  entries_.push_back(entry);
  options_.push_back(options);
  return entries_.size() - 1;
}

void ScheduleTable::eraseEntry(std::size_t slot) {
  if (slot >= count()) throw std::out_of_range("no schedule entry at this slot");
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(slot));
  options_.erase(options_.begin() + static_cast<std::ptrdiff_t>(slot));
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
  table.setCount(kept);
}

}  // namespace larkspan::schedule
