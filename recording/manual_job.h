#pragma once

#include <memory>

#include "platform/small_stack_thread.h"
#include "recording/recording_job.h"

namespace larkspan::recording {

// The one manual recording's job, or none. Only the window's thread touches
// it: Connect creates the job, Stop sets its stop request, and the scheduler
// tick releases it once the job is finished.
class ManualJob {
 public:
  ManualJob() = default;
  ManualJob(const ManualJob&) = delete;
  ManualJob& operator=(const ManualJob&) = delete;
  // The thread uses the job and what its owner shares with it: it never
  // outlives them.
  ~ManualJob() { stopAndWait(); }

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

  // Asks the recording to end and waits for its thread, which leaves any
  // read or pause at once when asked. The job stays, finished, to be read
  // and released as usual.
  void stopAndWait() {
    requestStop();
    thread_.join();
  }

  // The thread recording the job; joined when the job is released.
  void adoptThread(platform::SmallStackThread thread) { thread_ = std::move(thread); }

  // Releases the job once its thread has marked it finished; false (and the
  // job stays) while the thread still uses it.
  bool releaseIfFinished() {
    if (!job_ || !job_->isFinished()) return false;
    // Marking the job finished is the thread's last act, so this returns at once.
    thread_.join();
    job_.reset();
    return true;
  }

 private:
  std::unique_ptr<RecordingJob> job_;
  platform::SmallStackThread thread_;
};

}  // namespace larkspan::recording
