#include "schedule/profile_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "schedule/profile_records.h"

namespace larkspan::schedule {

namespace {

// A stored count, taken as no records when negative.
std::uint64_t StoredCount(std::int32_t count) {
  return count > 0 ? static_cast<std::uint64_t>(count) : 0;
}

// How many records of `size` bytes the rest of the data can hold at most.
std::uint64_t RecordsLeft(const ByteSource& source, std::size_t size) {
  return source.remaining() / size;
}

// 1,024 doubled until it holds `entries`. `entries` is bounded by the data, so
// the doubling ends long before it could overflow.
std::size_t CapacityFor(std::uint64_t entries) {
  std::size_t capacity = ScheduleTable::kInitialCapacity;
  while (capacity < entries) capacity *= 2;
  return capacity;
}

void ResetLoadedRuntimeFields(ScheduleEntry& entry) {
  entry.recordingThread.reset();
  entry.running = 0;
  entry.jobSlot = kJobSlotIdle;
  entry.keep = 1;
  entry.doneToday = 0;
}

std::size_t ReadEntries(ByteSource& source, std::uint64_t storedCount, ScheduleTable& table) {
  const std::uint64_t wanted = std::min({storedCount, RecordsLeft(source, records::kEntrySize),
                                         std::uint64_t{ScheduleTable::kMaxCapacity}});
  table.reset(CapacityFor(wanted));
  table.reserve(static_cast<std::size_t>(wanted));
  std::array<std::byte, records::kEntrySize> record;
  ScheduleEntry entry;
  const MonitorOptions noOptions;
  for (std::uint64_t i = 0; i < wanted && source.readExact(record); ++i) {
    records::DecodeEntry(record, entry);
    ResetLoadedRuntimeFields(entry);
    table.appendEntry(entry, noOptions);
  }
  return table.count();
}

void ReadKnownMountpoints(ByteSource& source, KnownMountpoints& known) {
  known.clear();
  // A profile that ends after the schedule, or inside this head, has no list.
  std::array<std::byte, records::kSectionHeadSize> head;
  if (!source.readExact(head)) return;
  const std::uint64_t wanted = std::min(StoredCount(records::DecodeSectionHead(head)),
                                        RecordsLeft(source, records::kKnownMountpointSize));
  known.reserve(static_cast<std::size_t>(wanted));
  std::array<std::byte, records::kKnownMountpointSize> record;
  while (known.size() < wanted && source.readExact(record)) {
    records::DecodeKnownMountpoint(record, known.emplace_back());
  }
}

void ReadMonitorOptions(ByteSource& source, std::size_t entries, ScheduleTable& table) {
  // A profile that ends after the known mountpoints has no head here; one that
  // ends inside the head has no records.
  std::uint64_t stored = entries;
  if (!source.atEnd()) {
    std::array<std::byte, records::kSectionHeadSize> head;
    if (!source.readExact(head)) return;
    stored = StoredCount(records::DecodeSectionHead(head));
  }
  const std::uint64_t wanted = std::min<std::uint64_t>(stored, entries);
  std::array<std::byte, records::kMonitorOptionsSize> record;
  for (std::size_t i = 0; i < wanted && source.readExact(record); ++i) {
    records::DecodeMonitorOptions(record, table.options(i));
  }
}

}  // namespace

void ReadProfile(ByteSource& source, ProfileSettings& settings, ScheduleTable& table,
                 KnownMountpoints& knownMountpoints) {
  knownMountpoints.clear();
  std::array<std::byte, records::kSettingsSize> head;
  if (!source.readExact(head)) {
    table.reset();
    return;
  }
  records::DecodeSettings(head, settings);
  const std::size_t entries =
      ReadEntries(source, StoredCount(records::DecodeEntryCount(head)), table);
  ReadKnownMountpoints(source, knownMountpoints);
  ReadMonitorOptions(source, entries, table);
}

}  // namespace larkspan::schedule
