#include "recording/recording_job.h"

#include "platform/text.h"

namespace larkspan::recording {

using platform::CopyToField;
using platform::FieldText;

std::string RecordingJob::status() const {
  const std::lock_guard lock(statusLock_);
  return status_;
}

void RecordingJob::setStatus(std::string_view text) {
  {
    const std::lock_guard lock(statusLock_);
    if (status_ == text) return;
    status_.assign(text);
  }
  // Outside the lock: an observer that blocks (standard output to a full
  // pipe) must never hold up whoever reads the status. Only the recording
  // thread sets it, so the observer still sees the changes in order.
  if (statusObserver) statusObserver(text);
}

void SetUpRecordingJob(RecordingJob& job, const RecordingJobSetup& setup) {
  CopyToField(job.url, setup.url);
  CopyToField(job.outputFile, setup.outputFile);
  CopyToField(job.extension, setup.extension);
  job.convert = setup.convert;
  job.deleteOriginal = setup.deleteOriginal;
  job.bitrate = setup.bitrate;
  job.persistent = setup.persistent;
  job.shoutcast = setup.shoutcast;
  job.monitorMountpoint = setup.monitorMountpoint;
  job.oggStream = false;

  // A monitored mountpoint ends when its stream stays away, so its lost
  // connections must count.
  if (job.monitorMountpoint) job.persistent = false;

  const std::string_view url = FieldText(job.url);
  if (url.find("flipzu") != std::string_view::npos) job.oggStream = true;
  if (const std::size_t ogg = url.find("ogg"); ogg != std::string_view::npos) {
    job.oggStream = true;
    // Only Ogg streams give up persistence; every other URL keeps the
    // starter's choice, so that an unattended recording survives breaks.
    if (ogg != 0) job.persistent = false;
  }

  job.entryIndex = setup.entryIndex;
  job.startSound = setup.startSound;
  if (setup.startSoundFile) CopyToField(job.startSoundFile, *setup.startSoundFile);
  job.disableSounds = setup.disableSounds;
  job.ircClient = setup.ircClient;
  job.updateTopic = setup.updateTopic;
}

std::optional<std::string> ExtensionFromName(std::string_view name) {
  constexpr std::size_t kMaxExtension = kExtensionSize - 1;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view after = name.substr(dot + 1);
  if (after.find_first_of("/:") != std::string_view::npos) return std::nullopt;
  for (std::size_t i = dot; i > 0; --i) {
    const char c = name[i - 1];
    if (c == '/') break;
    if (c == '.') return std::string("mp3");
  }
  return std::string(after.substr(0, kMaxExtension));
}

}  // namespace larkspan::recording
