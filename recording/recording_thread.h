#pragma once

#include "platform/small_stack_thread.h"
#include "recording/recording_context.h"
#include "recording/recording_job.h"

namespace larkspan::recording {

// The body of every recording thread: connects to the job's stream, records
// it into a new file, reconnects whenever the stream breaks, and ends when
// the job's stop is requested (or a monitored mountpoint stays away), then
// converts the file when asked. It reports through the job's status, the
// activity log, the tray icon name and IRC, and marks the job finished as its
// very last act. The job and the context must outlive the call.
void RecordingThread(RecordingJob& job, RecordingContext& context);

// Runs RecordingThread on a thread of its own with a small stack. A thread
// that cannot be started leaves the job marked finished with the status
// "ERROR", so that its owner still releases it.
platform::SmallStackThread StartRecordingThread(RecordingJob& job, RecordingContext& context);

}  // namespace larkspan::recording
