#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "schedule/monitor_options.h"
#include "schedule/schedule_entry.h"

namespace larkspan::schedule {

// The schedule: slots of entries, each with its MonitorOptions record at the
// same index, a capacity (the number of slots) and a count (slots in use from
// the start). Slots at and beyond the count are Free; a Free slot below the
// count is a removed entry waiting for RemoveFreeEntries.
//
// Not thread-safe: callers hold ScheduleLock (Profile::scheduleLock) for every
// change of the layout (add, append, erase, growth, count). References to slots
// stay valid only until the next such change.
class ScheduleTable {
 public:
  static constexpr std::size_t kInitialCapacity = 1024;
  // The count is stored as a signed 32-bit number; the table never grows past
  // what it can express.
  static constexpr std::size_t kMaxCapacity = std::size_t{1} << 30;

  // An empty table of kInitialCapacity Free slots. `maxCapacity` bounds growth
  // (tests use a small one to reach the failure path).
  explicit ScheduleTable(std::size_t maxCapacity = kMaxCapacity);

  std::size_t capacity() const { return entries_.size(); }
  std::size_t count() const { return count_; }
  // Throws std::out_of_range when `count` exceeds the capacity.
  void setCount(std::size_t count);

  // Slot access; throws std::out_of_range at or beyond the capacity.
  ScheduleEntry& entry(std::size_t slot) { return entries_.at(slot); }
  const ScheduleEntry& entry(std::size_t slot) const { return entries_.at(slot); }
  MonitorOptions& options(std::size_t slot) { return options_.at(slot); }
  const MonitorOptions& options(std::size_t slot) const { return options_.at(slot); }

  // Empties the table and gives it `capacity` Free slots with zeroed records.
  void reset(std::size_t capacity = kInitialCapacity);

  // Doubles the capacity, keeping every entry and record in place; the new
  // slots are Free. False, with the table unchanged, when the memory cannot be
  // had or the capacity would pass the limit.
  bool grow();

  // The editor's way of adding: marks the slot at the count Free, doubles the
  // capacity when the count has reached it, then fills the first Free slot from
  // the start (a removed entry below the count is reused) and raises the count
  // when that slot is at or beyond it. The entry is stored as given. Returns the
  // slot, or nothing when the table could not grow.
  std::optional<std::size_t> addEntry(const ScheduleEntry& entry, const MonitorOptions& options);

  // Stores the entry at the count and raises the count, growing when full (the
  // server monitor's way of adding). Returns the slot, or nothing when the table
  // could not grow.
  std::optional<std::size_t> appendEntry(const ScheduleEntry& entry, const MonitorOptions& options);

  // Removes the entry at `slot` (below the count): every later entry moves one
  // slot down with its record and the count drops by one.
  void eraseEntry(std::size_t slot);

 private:
  void clearSlots(std::size_t first, std::size_t last);

  std::vector<ScheduleEntry> entries_;
  std::vector<MonitorOptions> options_;
  std::size_t count_ = 0;
  std::size_t maxCapacity_;
};

// Walks the entries from the first to the last in use and removes each one
// whose jobSlot is Free, with its MonitorOptions record, keeping the order of
// the rest. The walk goes on at the next index after a removal, so of two
// adjacent Free entries the second stays until the next call (callers rely on
// one removal per close-out, not on an empty table of Free entries).
void RemoveFreeEntries(ScheduleTable& table);

}  // namespace larkspan::schedule
