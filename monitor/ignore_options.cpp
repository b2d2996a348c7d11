#include "monitor/ignore_options.h"

#include <cstring>

#include "monitor/ignore_text.h"

namespace larkspan::monitor {

IgnoreOptionsForm ShowIgnoreOptions(
    const std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows,
    const IgnoreSlots& slots) {
  IgnoreOptionsForm form;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    form.rows[i] = {.enabled = rows[i].enabled != 0,
                    .startHour = rows[i].startHour,
                    .startMinute = rows[i].startMinute,
                    .endHour = rows[i].endHour,
                    .endMinute = rows[i].endMinute,
                    .day = std::string(IgnoreDayName(rows[i].days))};
  }
  form.mountpoints = ComposeIgnoreText(slots, IgnoreList::Mountpoints);
  form.extensions = ComposeIgnoreText(slots, IgnoreList::Extensions);
  return form;
}

void ConfirmIgnoreOptions(const IgnoreOptionsForm& form,
                          std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>& rows,
                          IgnoreSlots& slots) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const IgnoreOptionsForm::Row& row = form.rows[i];
    rows[i].enabled = row.enabled ? 1 : 0;
    rows[i].startHour = static_cast<std::int8_t>(row.startHour);
    rows[i].startMinute = static_cast<std::int8_t>(row.startMinute);
    rows[i].endHour = static_cast<std::int8_t>(row.endHour);
    rows[i].endMinute = static_cast<std::int8_t>(row.endMinute);
    if (const auto bit = IgnoreDayBit(row.day.substr(0, kIgnoreDayTextLimit))) rows[i].days = *bit;
  }
  IgnoreSlots parsed = slots;
  ParseIgnoreText(form.mountpoints, IgnoreList::Mountpoints, parsed);
  ParseIgnoreText(form.extensions, IgnoreList::Extensions, parsed);
  std::memcpy(slots.shortFlags, parsed.shortFlags, sizeof slots.shortFlags);
  std::memcpy(slots.shortNames, parsed.shortNames, sizeof slots.shortNames);
  std::memcpy(slots.longFlags, parsed.longFlags, kEditableLongSlots);
  std::memcpy(slots.longNames, parsed.longNames,
              kEditableLongSlots * schedule::kLongIgnoreNameSize);
  std::memcpy(slots.extensions, parsed.extensions, sizeof slots.extensions);
}

}  // namespace larkspan::monitor
