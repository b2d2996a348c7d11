#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "recording/recording_job.h"

namespace larkspan::recording {

inline constexpr const char* kMaxStreamsMessage = "Maximum number of streams reached";

// The jobs of scheduled and monitored recordings, by slot number. A schedule
// entry keeps its job's slot. One instance lives as long as the program;
// only the window's thread touches it, holding lock() (JobTableLock) across
// each tick, and recording threads never do.
class JobTable {
 public:
  static constexpr int kSlotCount = 65'536;

  JobTable();

  // JobTableLock: guards the slots, the high-water count and the release of
  // jobs. The methods below take it too, so a caller that holds it across
  // several calls sees them as one step.
  std::recursive_mutex& lock() { return lock_; }

  // Stores `job` in the lowest empty slot and returns the slot number, or
  // nothing (and keeps nothing) when the high-water count has reached the
  // slot count.
  std::optional<int> takeSlot(std::unique_ptr<RecordingJob> job);

  // Empties `slot` and hands its job back for release. The high-water count
  // drops by one when the slot was the highest one handed out.
  std::unique_ptr<RecordingJob> giveSlotBack(int slot);

  // Takes the job out of `slot` for release but keeps the slot reserved: no
  // later takeSlot() hands it out until giveSlotBack() empties it. For a start
  // that failed after its entry took the slot, whose close-out gives it back.
  std::unique_ptr<RecordingJob> releaseJobKeepingSlot(int slot);

  // The job in `slot`, or null when the slot is empty, reserved or out of range.
  RecordingJob* at(int slot);

  // One past the highest slot handed out and not yet given back at the top.
  int JobTableHighWater() const;

  // Empties every slot and resets the high-water count.
  void clear();

 private:
  mutable std::recursive_mutex lock_;
  std::vector<std::unique_ptr<RecordingJob>> slots_;
  std::set<int> emptyBelowHighWater_;
  std::set<int> reserved_;
  int highWater_ = 0;
};

}  // namespace larkspan::recording
