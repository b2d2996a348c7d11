#pragma once

// One run of the scheduler tick. Private to the tick: the walk and the status
// composition live in scheduler_tick.cpp, the start of an entry in
// scheduled_start.cpp and the end and close-out in close_out.cpp.

#include <cstdint>
#include <string>
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

  void visit(std::size_t u);
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

  SchedulerContext& context_;
  platform::LocalTime now_;
  std::uint8_t todayBit_ = 0;
  std::int32_t todayDate_ = 0;
  std::string trayTip_;
  std::vector<std::size_t> live_;  // entries with a job, remembered for the status
  bool ended_ = false;             // the tick ended early ("Invalid path")
};

}  // namespace larkspan::schedule
