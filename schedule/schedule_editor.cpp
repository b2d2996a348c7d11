#include "schedule/schedule_editor.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "schedule/control_text.h"
#include "schedule/name_key.h"

namespace larkspan::schedule {
namespace {

// The integer a text begins with, as the bitrate and level lists give it;
// 0 when it begins with none.
long LeadingInteger(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  long value = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at)
    value = std::min(value * 10 + (text[at] - '0'), 1'000'000'000L);
  return negative ? -value : value;
}

// An entry the editor shows: in use and the user's own.
bool Kept(const ScheduleEntry& e) {
  return e.keep != 0 && e.jobSlot != kJobSlotFree;
}

// Whether `e` is still the entry `before` was, although a tick may have
// moved it, changed its days or ended its recording.
bool SameEntry(const ScheduleEntry& e, const ScheduleEntry& before) {
  if (before.recordingThread && e.recordingThread == before.recordingThread) return true;
  return std::strcmp(e.programName, before.programName) == 0 &&
         std::strcmp(e.url, before.url) == 0 && e.startHour == before.startHour &&
         e.startMinute == before.startMinute && e.endHour == before.endHour &&
         e.endMinute == before.endMinute && e.monitorMountpoint == before.monitorMountpoint &&
         e.monitorServer == before.monitorServer;
}

}  // namespace

EnabledControls EnabledFor(const ScheduleForm& form) {
  return {.timesAndDays = !form.monitorMountpoint && !form.monitorServer,
          .program = !form.monitorServer};
}

void FillEntryFromForm(const ScheduleForm& form, ScheduleEntry& e, MonitorOptions& options) {
  e.startHour = form.startHour;
  e.startMinute = form.startMinute;
  e.endHour = form.endHour;
  e.endMinute = form.endMinute;
  e.days = 0;
  for (std::size_t day = 0; day < form.days.size(); ++day)
    if (form.days[day]) e.days |= static_cast<std::uint8_t>(1u << day);
  e.repeating = form.repeating ? 1 : 0;
  e.shoutcast = form.shoutcast ? 1 : 0;
  CopyControlText(e.programName, form.programName);
  CopyControlText(e.url, form.url);
  e.convert = form.convert ? 1 : 0;
  e.bitrate = static_cast<std::int16_t>(LeadingInteger(form.bitrate));
  e.deleteOriginal = form.deleteOriginal ? 1 : 0;
  e.deleteWhenDone = form.deleteWhenDone ? 1 : 0;
  e.monitorMountpoint = form.monitorMountpoint ? 1 : 0;
  e.monitorServer = form.monitorServer ? 1 : 0;
  e.monitorLevel = static_cast<std::int8_t>(LeadingInteger(form.level));
  e.timeout = static_cast<std::int16_t>(std::clamp(form.timeout, 0, kMaxTimeout));
  e.ignoreTimes = form.ignoreTimes;
  monitor::WriteIgnoreSlots(form.ignore, e, options);
  // The dialog leaves long slots 13 to 24 alone; the form carries them whole.
  std::memcpy(options.longIgnoreFlags, form.ignore.longFlags, sizeof options.longIgnoreFlags);
  std::memcpy(options.longIgnoreNames, form.ignore.longNames, sizeof options.longIgnoreNames);
  e.keep = 1;
  e.autoCreated = 0;
  e.recordUntilDisconnect = 0;
  e.doneToday = 0;
  e.doneTodayDate = 0;
  e.endCount = 0;
  e.nameKey = nameKey(platform::FieldText(e.programName));
}

ScheduleForm FormFromEntry(const ScheduleEntry& e, const MonitorOptions& options) {
  ScheduleForm form;
  form.startHour = e.startHour;
  form.startMinute = e.startMinute;
  form.endHour = e.endHour;
  form.endMinute = e.endMinute;
  for (std::size_t day = 0; day < form.days.size(); ++day) form.days[day] = (e.days >> day) & 1;
  form.repeating = e.repeating != 0;
  form.shoutcast = e.shoutcast != 0;
  form.programName = platform::FieldText(e.programName);
  form.url = platform::FieldText(e.url);
  form.convert = e.convert != 0;
  form.bitrate = std::to_string(e.bitrate);
  form.deleteOriginal = e.deleteOriginal != 0;
  form.deleteWhenDone = e.deleteWhenDone != 0;
  form.monitorMountpoint = e.monitorMountpoint != 0;
  form.monitorServer = e.monitorServer != 0;
  form.level = std::to_string(e.monitorLevel);
  form.timeout = e.timeout;
  form.ignoreTimes = e.ignoreTimes;
  form.ignore = monitor::ReadIgnoreSlots(e, options);
  return form;
}

ScheduleEditor::ScheduleEditor(Profile& profile, platform::Prompter& prompter,
                               std::filesystem::path startupDirectory)
    : profile_(profile), prompter_(prompter), startupDirectory_(std::move(startupDirectory)) {}

bool ScheduleEditor::hasCurrentEntry() const {
  const ScheduleTable& table = profile_.schedule;
  return current_ < table.count() && Kept(table.entry(current_));
}

void ScheduleEditor::settle() {
  const std::size_t count = profile_.schedule.count();
  if (current_ >= count) current_ = count == 0 ? 0 : count - 1;
}

void ScheduleEditor::load(std::size_t index) {
  form_ = FormFromEntry(profile_.schedule.entry(index), profile_.schedule.options(index));
  current_ = index;
}

void ScheduleEditor::choose(std::optional<std::size_t> index) {
  const ScheduleTable& table = profile_.schedule;
  std::optional<std::size_t> lastKept;
  for (std::size_t i = table.count(); i-- > 0;) {
    if (Kept(table.entry(i))) {
      lastKept = i;
      break;
    }
  }
  if (index && lastKept && *index <= *lastKept && Kept(table.entry(*index)))
    load(*index);
  else if (lastKept)
    load(*lastKept);
  else
    current_ = 0;
}

bool ScheduleEditor::followCurrent(const std::optional<ScheduleEntry>& before, std::size_t at) {
  if (!before) {
    settle();
    return true;
  }
  const ScheduleTable& table = profile_.schedule;
  // Ticks only remove entries (which moves later ones down) or append them.
  for (std::size_t i = std::min(at + 1, table.count()); i-- > 0;) {
    if (Kept(table.entry(i)) && SameEntry(table.entry(i), *before)) {
      current_ = i;
      return true;
    }
  }
  // The entry is gone: show one that is there.
  choose(at);
  modified_ = false;
  return false;
}

template <typename Box>
bool ScheduleEditor::aroundBox(Box box) {
  std::optional<ScheduleEntry> before;
  if (hasCurrentEntry()) before = profile_.schedule.entry(current_);
  const std::size_t at = current_;
  box();
  return followCurrent(before, at);
}

void ScheduleEditor::purgeRemoved() {
  ScheduleTable& table = profile_.schedule;
  // The entry that moves into a removed one's place waits for the next pass,
  // as in every other removal from the table.
  for (std::size_t i = 0; i < table.count(); ++i) {
    ScheduleEntry& e = table.entry(i);
    if (e.jobSlot != kJobSlotFree) continue;
    if (e.running) {
      e.repeating = 0;
      e.keep = 0;
      continue;
    }
    const std::int32_t key = e.nameKey;
    std::erase_if(profile_.knownMountpoints,
                  [key](const KnownMountpoint& k) { return k.ownerKey == key; });
    table.eraseEntry(i);
    if (current_ > i) --current_;
  }
}

void ScheduleEditor::open(std::optional<std::size_t> index) {
  choose(index);
  {
    const std::scoped_lock lock(profile_.scheduleLock);
    purgeRemoved();
  }
  settle();
  modified_ = closed_ = changed_ = false;
}

bool ScheduleEditor::addFormAsEntry() {
  ScheduleEntry e;
  MonitorOptions options;
  FillEntryFromForm(form_, e, options);
  e.jobSlot = kJobSlotIdle;
  std::optional<std::size_t> slot;
  aroundBox([&] { slot = AddScheduleEntry(profile_, e, options, prompter_); });
  if (!slot) return false;
  current_ = *slot;
  return true;
}

bool ScheduleEditor::store(bool withMessage) {
  settle();
  if (!hasCurrentEntry()) {
    // Nothing of the user's is shown (an empty schedule): the form becomes a
    // new entry.
    if (!addFormAsEntry()) return false;
  } else {
    if (profile_.schedule.entry(current_).running && modified_) {
      bool yes = false;
      if (!aroundBox([&] { yes = prompter_.askYesNo(kChangingRecordingQuestion); }) || !yes)
        return false;
    }
    const std::scoped_lock lock(profile_.scheduleLock);
    FillEntryFromForm(form_, profile_.schedule.entry(current_),
                      profile_.schedule.options(current_));
  }
  changed_ = true;
  if (withMessage) aroundBox([&] { prompter_.information(kEntryEditedMessage); });
  return true;
}

void ScheduleEditor::append() {
  settle();
  const bool anyDay = std::find(form_.days.begin(), form_.days.end(), true) != form_.days.end();
  if (!anyDay && !form_.monitorMountpoint && !form_.monitorServer) {
    aroundBox([&] { prompter_.warning(kNoDayMessage); });
    return;
  }
  if (!addFormAsEntry()) return;
  changed_ = true;
  aroundBox([&] { prompter_.information(kEntryAddedMessage); });
}

void ScheduleEditor::deleteCurrent() {
  settle();
  if (!hasCurrentEntry()) return;
  {
    const std::scoped_lock lock(profile_.scheduleLock);
    ScheduleEntry& e = profile_.schedule.entry(current_);
    if (e.jobSlot >= 0) {
      // Its recording goes on to its end; the close-out then treats it as
      // one-time, and the exit drops it.
      e.repeating = 0;
      e.keep = 0;
    } else {
      e.jobSlot = kJobSlotFree;
    }
    purgeRemoved();
  }
  // The index now names the entry after the deleted one; show a kept one.
  const ScheduleTable& table = profile_.schedule;
  std::optional<std::size_t> next;
  for (std::size_t i = current_; i < table.count() && !next; ++i)
    if (Kept(table.entry(i))) next = i;
  choose(next);
  changed_ = true;
  aroundBox([&] { prompter_.information(kEntryDeletedMessage); });
  if (hasCurrentEntry()) load(current_);
  modified_ = false;
}

void ScheduleEditor::stepBack() {
  settle();
  if (current_ == 0) return;
  if (hasCurrentEntry()) store(false);
  for (std::size_t i = current_; i-- > 0;) {
    if (Kept(profile_.schedule.entry(i))) {
      load(i);
      break;
    }
  }
  modified_ = false;
}

void ScheduleEditor::stepForward() {
  settle();
  if (current_ + 1 >= profile_.schedule.count()) return;
  if (hasCurrentEntry()) store(false);
  for (std::size_t i = current_ + 1; i < profile_.schedule.count(); ++i) {
    if (Kept(profile_.schedule.entry(i))) {
      load(i);
      break;
    }
  }
  modified_ = false;
}

void ScheduleEditor::showEntry(std::optional<std::size_t> index) {
  settle();
  if (hasCurrentEntry()) store(false);
  choose(index);
  modified_ = false;
}

void ScheduleEditor::close() {
  settle();
  if (hasCurrentEntry()) store(false);
  SaveProfile(profile_, startupDirectory_);
  closed_ = true;
}

}  // namespace larkspan::schedule
