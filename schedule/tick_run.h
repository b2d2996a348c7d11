#pragma once

// One run of the scheduler tick. Private to the tick: the walk and the status
// composition live in scheduler_tick.cpp, the start of an entry in
// scheduled_start.cpp and the end and close-out in close_out.cpp.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "schedule/scheduler_tick.h"

namespace larkspan::schedule {

class TickRun {
 public:
  explicit TickRun(SchedulerContext& context);
  void run();

 private:
  // What comes after a start or an end step for the entry being walked.
  enum class Next { CheckLive, CloseOut, EndTick, NextEntry };

  // Everything but the boxes, under JobTableLock.
  void walk();
  void visit(std::size_t u);
  bool holdsEmptiedSlot(const ScheduleEntry& e);
  bool startIsDue(const ScheduleEntry& e) const;
  bool endHasNotPassed(const ScheduleEntry& e) const;
  bool ignoreTimeCoversNow(const ScheduleEntry& e) const;

  // StartScheduledRecording.
  Next start(std::size_t u);
  bool recordingPathUsable();
  bool makeDirectory(const std::string& directory);
  // The end time and the close-out; true when the entry was closed out.
  void endOrCloseOut(std::size_t u);
  void closeOut(std::size_t u, recording::RecordingJob* job);
  void applyUsedUpRule(ScheduleEntry& e);
  void removeKnownMountpoints(const std::string& url);

  void composeStatus();
  void composeIdle();
  void collectManualJob();
  void updateTray();

  ScheduleEntry& entry(std::size_t u) { return context_.profile.schedule.entry(u); }
  ProfileSettings& settings() { return context_.profile.settings; }
  SchedulerState& state() { return context_.state; }
  void refreshWithGuard();
  // A message box of this tick, shown once the tick's work is done.
  void warn(std::string text) { warnings_.push_back(std::move(text)); }

  // An entry the walk found with a job: its slot and its name as they were
  // then. Later close-outs of the walk move entries about, so the status is
  // composed from these, never from an index into the table.
  struct LiveEntry {
    std::int32_t slot;
    std::string programName;
  };

  SchedulerContext& context_;
  platform::LocalTime now_;
  std::uint8_t todayBit_ = 0;
  std::int32_t todayDate_ = 0;
  std::string trayTip_;
  std::vector<LiveEntry> live_;
  bool ended_ = false;  // the tick ended early ("Invalid path")
  // A box runs the window's event loop, where timers fire and the editor, the
  // stop window or the exit act: each of them may run another tick, remove
  // entries or grow the table. So the boxes wait until nothing of the walk is
  // held any more.
  std::vector<std::string> warnings_;
};

}  // namespace larkspan::schedule
