#include "recording/job_table.h"

namespace larkspan::recording {

JobTable::JobTable() : slots_(kSlotCount) {}

std::optional<int> JobTable::takeSlot(std::unique_ptr<RecordingJob> job) {
  const std::lock_guard guard(lock_);
  if (highWater_ >= kSlotCount) return std::nullopt;
  // Every occupied slot lies below the high-water count, so the lowest empty
  // slot is the lowest one given back below it, or else the count itself.
  int slot = highWater_;
  if (!emptyBelowHighWater_.empty()) {
    slot = *emptyBelowHighWater_.begin();
    emptyBelowHighWater_.erase(emptyBelowHighWater_.begin());
  }
  slots_[slot] = std::move(job);
  if (slot >= highWater_) highWater_ = slot + 1;
  return slot;
}

std::unique_ptr<RecordingJob> JobTable::giveSlotBack(int slot) {
  const std::lock_guard guard(lock_);
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  std::unique_ptr<RecordingJob> job = std::move(slots_[slot]);
  reserved_.erase(slot);
  if (slot == highWater_ - 1) {
    --highWater_;
    emptyBelowHighWater_.erase(slot);
  } else if (slot < highWater_) {
    emptyBelowHighWater_.insert(slot);
  }
  return job;
}

std::unique_ptr<RecordingJob> JobTable::releaseJobKeepingSlot(int slot) {
  const std::lock_guard guard(lock_);
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  // A reserved slot is neither empty (takeSlot passes it by) nor occupied.
  if (slot < highWater_) reserved_.insert(slot);
  return std::move(slots_[slot]);
}

RecordingJob* JobTable::at(int slot) {
  const std::lock_guard guard(lock_);
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  return slots_[slot].get();
}

int JobTable::JobTableHighWater() const {
  const std::lock_guard guard(lock_);
  return highWater_;
}

void JobTable::clear() {
  const std::lock_guard guard(lock_);
  for (auto& slot : slots_) slot.reset();
  emptyBelowHighWater_.clear();
  reserved_.clear();
  highWater_ = 0;
}

}  // namespace larkspan::recording
