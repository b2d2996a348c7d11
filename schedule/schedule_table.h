#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "schedule/large_block_allocator.h"
#include "schedule/monitor_options.h"
#include "schedule/schedule_entry.h"

namespace larkspan::schedule {

// The schedule: entries in use from the start, each with its MonitorOptions
// record at the same index, and a capacity that doubles from 1,024 as the
// count reaches it. Slots at and beyond the count are Free and hold nothing, so
// they are not kept; a Free entry below the count is a removed entry waiting
// for RemoveFreeEntries.
//
// Not thread-safe: callers hold ScheduleLock (Profile::scheduleLock) for every
// change of the layout (add, append, erase, growth, count). References to
// entries stay valid only until the next such change.
class ScheduleTable {
 public:
  static constexpr std::size_t kInitialCapacity = 1024;
  // The count is stored as a signed 32-bit number; the table never grows past
  // what it can express.
  static constexpr std::size_t kMaxCapacity = std::size_t{1} << 30;

  // An empty table of capacity kInitialCapacity. `maxCapacity` bounds growth
  // (tests use a small one to reach the failure path).
  explicit ScheduleTable(std::size_t maxCapacity = kMaxCapacity);

  std::size_t capacity() const { return capacity_; }
  std::size_t count() const { return entries_.size(); }

  // Sets the count, within the capacity (else std::out_of_range). Slots that
  // come into use start Free with empty records.
  void setCount(std::size_t count);

  // Access below the count; std::out_of_range otherwise.
  ScheduleEntry& entry(std::size_t slot) { return entries_.at(slot); }
  const ScheduleEntry& entry(std::size_t slot) const { return entries_.at(slot); }
  MonitorOptions& options(std::size_t slot) { return options_.at(slot); }
  const MonitorOptions& options(std::size_t slot) const { return options_.at(slot); }

  // Empties the table and sets its capacity (within the limit).
  void reset(std::size_t capacity = kInitialCapacity);

  // Makes room for `entries` (at most the capacity) in one allocation, for a
  // caller that knows how many it will add.
  void reserve(std::size_t entries);

  // Doubles the capacity and makes room for it at once, so that a table that
  // cannot have the memory says so here rather than in a later add. False, with
  // the table unchanged, when the memory cannot be had or the capacity would
  // pass the limit.
  bool grow();

  // The editor's way of adding: doubles the capacity when the count has reached
  // it, then fills the first Free slot from the start (a removed entry below the
  // count is reused) or the slot at the count. The entry is stored as given.
  // Returns the slot, or nothing when the table could not grow.
  std::optional<std::size_t> addEntry(const ScheduleEntry& entry, const MonitorOptions& options);

  // Stores the entry at the count, growing when full (the server monitor's way
  // of adding). Returns the slot, or nothing when the table could not grow.
  std::optional<std::size_t> appendEntry(const ScheduleEntry& entry, const MonitorOptions& options);

  // Removes the entry at `slot` (below the count): every later entry moves one
  // slot down with its record and the count drops by one.
  void eraseEntry(std::size_t slot);

 private:
  std::vector<ScheduleEntry, LargeBlockAllocator<ScheduleEntry>> entries_;
  std::vector<MonitorOptions, LargeBlockAllocator<MonitorOptions>> options_;
  std::size_t capacity_ = kInitialCapacity;
  std::size_t maxCapacity_;
};

// Walks the entries from the first to the last in use and removes each one
// whose jobSlot is Free, with its MonitorOptions record, keeping the order of
// the rest. The walk goes on at the next index after a removal, so of two
// adjacent Free entries the second stays until the next call (callers rely on
// one removal per close-out, not on an empty table of Free entries).
void RemoveFreeEntries(ScheduleTable& table);

}  // namespace larkspan::schedule
