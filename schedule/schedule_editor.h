#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "monitor/ignore_slots.h"
#include "platform/prompter.h"
#include "schedule/profile.h"

namespace larkspan::schedule {

inline constexpr const char* kNoDayMessage =
    "You must select at least one day for recording or select monitor mountpoint/monitor "
    "server.";
inline constexpr const char* kEntryAddedMessage = "New schedule entry added.";
inline constexpr const char* kEntryEditedMessage = "Current entry edited.";
inline constexpr const char* kEntryDeletedMessage = "Current entry deleted.";
inline constexpr const char* kChangingRecordingQuestion =
    "You are making changes to an entry\nfor a program currently being recorded. Continue?";

// The values of the "Scheduler" form, as the window's controls show them.
// Texts are UTF-8; the number boxes cannot hold a value outside their field's
// range, so every value here can be stored as it is.
struct ScheduleForm {
  int startHour = 0;
  int startMinute = 0;
  int endHour = 0;
  int endMinute = 0;
  std::array<bool, 7> days{};  // Sunday to Saturday
  bool repeating = false;      // "Repeating"; "One time" is its opposite
  bool shoutcast = false;
  std::string programName = "sample";
  std::string url = "http://127.0.0.1:8000/stream";
  bool convert = false;
  std::string bitrate = "96";
  bool deleteOriginal = false;
  bool deleteWhenDone = false;
  bool monitorMountpoint = false;
  bool monitorServer = false;
  std::string level = "0";
  int timeout = 30;
  // What "Advanced Mountpoint Options" edits.
  std::array<IgnoreTimeRow, kIgnoreTimeRows> ignoreTimes{};
  monitor::IgnoreSlots ignore;
};

inline constexpr int kMaxTimeout = 32767;  // the stored field is signed 16-bit

// Which controls take input: the time, the days and the one-time choice only
// for a scheduled recording, the program name unless a server is watched.
struct EnabledControls {
  bool timesAndDays = true;
  bool program = true;
};
EnabledControls EnabledFor(const ScheduleForm& form);

// The schedule editor: one entry at a time in the form, appended, stored,
// deleted and stepped through on the profile's table. The scheduler and
// monitor ticks keep running while its boxes are open, and may remove or
// add entries meanwhile: the editor holds only an index, which it checks
// again after every box and before every change.
class ScheduleEditor {
 public:
  ScheduleEditor(Profile& profile, platform::Prompter& prompter,
                 std::filesystem::path startupDirectory);

  // Shows `index` when it is a kept entry, else the last kept entry (the
  // defaults on a schedule without one), and purges the removed entries.
  void open(std::optional<std::size_t> index);

  ScheduleForm& form() { return form_; }
  // The user changed a value of the form.
  void markModified() { modified_ = true; }
  bool modified() const { return modified_; }
  std::size_t current() const { return current_; }
  bool closed() const { return closed_; }
  // The change mark: true once after the table was changed.
  bool takeChange() { return std::exchange(changed_, false); }

  // "Append to End Of Schedule".
  void append();
  // "Edit Current Entry".
  void editCurrent() { store(true); }
  // "Delete Current Entry". An entry that is recording is not removed: it
  // records on, hidden, as a one-time entry that the exit drops.
  void deleteCurrent();
  // "<<" and ">>": store the form, show the previous (next) kept entry.
  void stepBack();
  void stepForward();
  // The list's double-click: store the form, then show `index` under the
  // opening rule.
  void showEntry(std::optional<std::size_t> index);
  // "Close" stores the form and saves the profile; "Cancel" does neither.
  void close();
  void cancel() { closed_ = true; }

 private:
  bool hasCurrentEntry() const;
  void settle();
  // Adds the form as a new entry and makes it the current one; false when
  // the table could not take it.
  bool addFormAsEntry();
  bool store(bool withMessage);
  void load(std::size_t index);
  void choose(std::optional<std::size_t> index);
  void purgeRemoved();
  // Runs `box` (a message box, under which ticks run) and finds the current
  // entry again afterwards. False when it is gone; another is shown then.
  template <typename Box>
  bool aroundBox(Box box);
  bool followCurrent(const std::optional<ScheduleEntry>& before, std::size_t at);

  Profile& profile_;
  platform::Prompter& prompter_;
  std::filesystem::path startupDirectory_;
  ScheduleForm form_;
  std::size_t current_ = 0;
  bool modified_ = false;
  bool changed_ = false;
  bool closed_ = false;
};

// The entry (and its MonitorOptions record) the form describes, as the user's
// Idle entry.
void FillEntryFromForm(const ScheduleForm& form, ScheduleEntry& entry, MonitorOptions& options);
ScheduleForm FormFromEntry(const ScheduleEntry& entry, const MonitorOptions& options);

}  // namespace larkspan::schedule
