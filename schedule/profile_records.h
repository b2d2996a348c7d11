#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "schedule/known_mountpoints.h"
#include "schedule/monitor_options.h"
#include "schedule/profile_settings.h"
#include "schedule/schedule_entry.h"

// The byte records of the profile file, little-endian. Encoders write a whole
// record and put zero wherever no field is stored (padding, unused and reserved
// bytes, pointer slots). Decoders read every stored field and end each text
// field with a zero in its last byte, so that a damaged file cannot leave a text
// without its end.
namespace larkspan::schedule::records {

inline constexpr std::size_t kSettingsSize = 2320;
inline constexpr std::size_t kEntrySize = 784;
inline constexpr std::size_t kSectionHeadSize = 16;
inline constexpr std::size_t kKnownMountpointSize = 512;
inline constexpr std::size_t kMonitorOptionsSize = 4120;

using SettingsBytes = std::span<std::byte, kSettingsSize>;
using EntryBytes = std::span<std::byte, kEntrySize>;
using SectionHeadBytes = std::span<std::byte, kSectionHeadSize>;
using KnownMountpointBytes = std::span<std::byte, kKnownMountpointSize>;
using MonitorOptionsBytes = std::span<std::byte, kMonitorOptionsSize>;

// The head also carries the schedule's entry count.
void EncodeSettings(const ProfileSettings& settings, std::int32_t entryCount, SettingsBytes out);
void DecodeSettings(std::span<const std::byte, kSettingsSize> in, ProfileSettings& settings);
std::int32_t DecodeEntryCount(std::span<const std::byte, kSettingsSize> in);

// Runtime fields are written as they stand; the thread reference as zero.
void EncodeEntry(const ScheduleEntry& entry, EntryBytes out);
// Leaves the thread reference of `entry` alone.
void DecodeEntry(std::span<const std::byte, kEntrySize> in, ScheduleEntry& entry);

// The head of the known-mountpoint and monitor-options sections: a record count.
void EncodeSectionHead(std::int32_t count, SectionHeadBytes out);
std::int32_t DecodeSectionHead(std::span<const std::byte, kSectionHeadSize> in);

void EncodeKnownMountpoint(const KnownMountpoint& known, KnownMountpointBytes out);
void DecodeKnownMountpoint(std::span<const std::byte, kKnownMountpointSize> in,
                           KnownMountpoint& known);

void EncodeMonitorOptions(const MonitorOptions& options, MonitorOptionsBytes out);
void DecodeMonitorOptions(std::span<const std::byte, kMonitorOptionsSize> in,
                          MonitorOptions& options);

}  // namespace larkspan::schedule::records
