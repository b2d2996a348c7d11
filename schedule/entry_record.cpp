#include <algorithm>

#include "schedule/profile_records.h"
#include "schedule/record_fields.h"

namespace larkspan::schedule::records {

using namespace detail;

namespace {
// Where each field lies in an entry record.
enum EntryOffset : std::size_t {
  kStartHour = 0,
  kStartMinute = 4,
  kEndHour = 8,
  kEndMinute = 12,
  kDays = 16,
  kRepeating = 20,
  kProgramName = 24,
  kUrl = 280,
  kJobSlot = 536,
  kRunning = 552,
  kShoutcast = 556,
  kStartedDay = 560,
  kConvert = 564,
  kDeleteOriginal = 568,
  kBitrate = 572,
  kKeep = 574,
  kMonitorMountpoint = 575,
  // The three ignore-time rows lie column by column, three bytes a column.
  kIgnoreEnabled = 576,
  kIgnoreDays = 579,
  kIgnoreStartHour = 582,
  kIgnoreStartMinute = 585,
  kIgnoreEndHour = 588,
  kIgnoreEndMinute = 591,
  kMonitorServer = 594,
  kMonitorLevel = 595,
  kRecordUntilDisconnect = 596,
  kAutoCreated = 597,
  kNameKey = 600,
  kShortIgnoreFlags = 604,
  kShortIgnoreNames = 610,
  kDeleteWhenDone = 722,
  kTimeout = 724,
  kDoneToday = 726,
  kEndCount = 728,
};

std::uint8_t Bits(std::int8_t value) {
  return static_cast<std::uint8_t>(value);
}
std::int8_t Signed(std::uint8_t value) {
  return static_cast<std::int8_t>(value);
}
}  // namespace

void EncodeEntry(const ScheduleEntry& e, EntryBytes out) {
  std::byte* r = out.data();
  std::fill(out.begin(), out.end(), std::byte{0});
  le::Put32(r + kStartHour, static_cast<std::uint32_t>(e.startHour));
  le::Put32(r + kStartMinute, static_cast<std::uint32_t>(e.startMinute));
  le::Put32(r + kEndHour, static_cast<std::uint32_t>(e.endHour));
  le::Put32(r + kEndMinute, static_cast<std::uint32_t>(e.endMinute));
  le::Put8(r + kDays, e.days);
  le::Put32(r + kRepeating, static_cast<std::uint32_t>(e.repeating));
  PutText(r, kProgramName, e.programName);
  PutText(r, kUrl, e.url);
  le::Put32(r + kJobSlot, static_cast<std::uint32_t>(e.jobSlot));
  le::Put32(r + kRunning, static_cast<std::uint32_t>(e.running));
  le::Put32(r + kShoutcast, static_cast<std::uint32_t>(e.shoutcast));
  le::Put8(r + kStartedDay, e.startedDay);
  le::Put32(r + kConvert, static_cast<std::uint32_t>(e.convert));
  le::Put32(r + kDeleteOriginal, static_cast<std::uint32_t>(e.deleteOriginal));
  le::Put16(r + kBitrate, static_cast<std::uint16_t>(e.bitrate));
  le::Put8(r + kKeep, e.keep);
  le::Put8(r + kMonitorMountpoint, e.monitorMountpoint);
  for (std::size_t row = 0; row < kIgnoreTimeRows; ++row) {
    const IgnoreTimeRow& t = e.ignoreTimes[row];
    le::Put8(r + kIgnoreEnabled + row, t.enabled);
    le::Put8(r + kIgnoreDays + row, t.days);
    le::Put8(r + kIgnoreStartHour + row, Bits(t.startHour));
    le::Put8(r + kIgnoreStartMinute + row, Bits(t.startMinute));
    le::Put8(r + kIgnoreEndHour + row, Bits(t.endHour));
    le::Put8(r + kIgnoreEndMinute + row, Bits(t.endMinute));
  }
  le::Put8(r + kMonitorServer, e.monitorServer);
  le::Put8(r + kMonitorLevel, Bits(e.monitorLevel));
  le::Put8(r + kRecordUntilDisconnect, e.recordUntilDisconnect);
  le::Put8(r + kAutoCreated, e.autoCreated);
  le::Put32(r + kNameKey, static_cast<std::uint32_t>(e.nameKey));
  PutFlags(r, kShortIgnoreFlags, e.shortIgnoreFlags);
  PutTexts(r, kShortIgnoreNames, e.shortIgnoreNames);
  le::Put8(r + kDeleteWhenDone, e.deleteWhenDone);
  le::Put16(r + kTimeout, static_cast<std::uint16_t>(e.timeout));
  le::Put8(r + kDoneToday, e.doneToday);
  le::Put8(r + kEndCount, e.endCount);
}

void DecodeEntry(std::span<const std::byte, kEntrySize> in, ScheduleEntry& e) {
  const std::byte* r = in.data();
  e.startHour = static_cast<std::int32_t>(le::Get32(r + kStartHour));
  e.startMinute = static_cast<std::int32_t>(le::Get32(r + kStartMinute));
  e.endHour = static_cast<std::int32_t>(le::Get32(r + kEndHour));
  e.endMinute = static_cast<std::int32_t>(le::Get32(r + kEndMinute));
  e.days = le::Get8(r + kDays);
  e.repeating = static_cast<std::int32_t>(le::Get32(r + kRepeating));
  GetText(r, kProgramName, e.programName);
  GetText(r, kUrl, e.url);
  e.jobSlot = static_cast<std::int32_t>(le::Get32(r + kJobSlot));
  e.running = static_cast<std::int32_t>(le::Get32(r + kRunning));
  e.shoutcast = static_cast<std::int32_t>(le::Get32(r + kShoutcast));
  e.startedDay = le::Get8(r + kStartedDay);
  e.convert = static_cast<std::int32_t>(le::Get32(r + kConvert));
  e.deleteOriginal = static_cast<std::int32_t>(le::Get32(r + kDeleteOriginal));
  e.bitrate = static_cast<std::int16_t>(le::Get16(r + kBitrate));
  e.keep = le::Get8(r + kKeep);
  e.monitorMountpoint = le::Get8(r + kMonitorMountpoint);
  for (std::size_t row = 0; row < kIgnoreTimeRows; ++row) {
    IgnoreTimeRow& t = e.ignoreTimes[row];
    t.enabled = le::Get8(r + kIgnoreEnabled + row);
    t.days = le::Get8(r + kIgnoreDays + row);
    t.startHour = Signed(le::Get8(r + kIgnoreStartHour + row));
    t.startMinute = Signed(le::Get8(r + kIgnoreStartMinute + row));
    t.endHour = Signed(le::Get8(r + kIgnoreEndHour + row));
    t.endMinute = Signed(le::Get8(r + kIgnoreEndMinute + row));
  }
  e.monitorServer = le::Get8(r + kMonitorServer);
  e.monitorLevel = Signed(le::Get8(r + kMonitorLevel));
  e.recordUntilDisconnect = le::Get8(r + kRecordUntilDisconnect);
  e.autoCreated = le::Get8(r + kAutoCreated);
  e.nameKey = static_cast<std::int32_t>(le::Get32(r + kNameKey));
  GetFlags(r, kShortIgnoreFlags, e.shortIgnoreFlags);
  GetTexts(r, kShortIgnoreNames, e.shortIgnoreNames);
  e.deleteWhenDone = le::Get8(r + kDeleteWhenDone);
  e.timeout = static_cast<std::int16_t>(le::Get16(r + kTimeout));
  e.doneToday = le::Get8(r + kDoneToday);
  e.endCount = le::Get8(r + kEndCount);
}

}  // namespace larkspan::schedule::records
