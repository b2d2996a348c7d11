#pragma once

#include <memory>

#include "recording/recording_job.h"

namespace larkspan::recording {

// The one manual recording's job, or none. Only the window's thread touches
// it: Connect creates the job, Stop sets its stop request, and the scheduler
// tick releases it once the job is finished.
class ManualJob {
 public:
  bool exists() const { return job_ != nullptr; }
  RecordingJob* get() const { return job_.get(); }

  // A new job, all zero with the status "IDLE"; none when one exists already.
  RecordingJob* create() {
    if (job_) return nullptr;
    job_ = std::make_unique<RecordingJob>();
    return job_.get();
  }

  // Asks the recording to end; no effect when there is none.
  void requestStop() {
    if (job_) job_->stopRequested.store(true, std::memory_order_release);
  }

  // Releases the job once its thread has marked it finished; false (and the
  // job stays) while the thread still uses it.
  bool releaseIfFinished() {
    if (!job_ || !job_->isFinished()) return false;
    job_.reset();
    return true;
  }

 private:
  std::unique_ptr<RecordingJob> job_;
};

}  // namespace larkspan::recording
