// Starting the recording of a due schedule entry: its folder, its file name
// and its recording thread.

#include <filesystem>
#include <system_error>

#include "platform/text.h"
#include "recording/recording_thread.h"
#include "schedule/recording_names.h"
#include "schedule/tick_run.h"

namespace larkspan::schedule {
namespace {

constexpr const char* kDirectoryFailedLine = "Directory does not exist and/or cannot be created.";

// Makes sure `path` is a directory: one that exists, or one made now (only
// this level; the levels above must exist).
bool EnterOrCreate(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return true;
  return std::filesystem::create_directory(path, ec) && !ec;
}

}  // namespace

bool TickRun::recordingPathUsable() {
  std::string path(platform::FieldText(settings().recordingPath));
  if (path.empty() || path.back() != '/') {
    path += '/';
    platform::CopyToField(settings().recordingPath, path);
  }
  return EnterOrCreate(context_.recording.startupDirectory /
                       platform::FieldText(settings().recordingPath));
}

bool TickRun::makeDirectory(const std::string& directory) {
  // Level by level: every text up to and including a "/" must be a folder or
  // become one, then the whole directory.
  const std::filesystem::path base = context_.recording.startupDirectory;
  for (std::size_t slash = directory.find('/'); slash != std::string::npos;
       slash = directory.find('/', slash + 1)) {
    if (EnterOrCreate(base / directory.substr(0, slash + 1))) continue;
    context_.recording.log.append(kDirectoryFailedLine);
    if (!state().outputPathWarned) {
      state().outputPathWarned = true;
      warn("Cannot save output file. Invalid path.");
    }
    return false;
  }
  if (!EnterOrCreate(base / directory)) {
    context_.recording.log.append(kDirectoryFailedLine);
    return false;
  }
  return true;
}

TickRun::Next TickRun::start(std::size_t u) {
  if (entry(u).running) return Next::CloseOut;
  if (!(entry(u).days & todayBit_) && entry(u).monitorMountpoint != 1) return Next::CheckLive;

  if (!recordingPathUsable() && state().pathEdited) {
    state().pathEdited = false;
    warn("Invalid path");
    return Next::EndTick;
  }
  entry(u).startedDay = todayBit_;

  recording::JobTable& jobs = context_.jobTable;
  if (jobs.JobTableHighWater() >= recording::JobTable::kSlotCount) {
    warn(recording::kMaxStreamsMessage);
    return Next::CheckLive;
  }
  auto created = std::make_unique<recording::RecordingJob>();
  created->settings = &settings();
  recording::RecordingJob& job = *created;
  entry(u).jobSlot = *jobs.takeSlot(std::move(created));

  ScheduleEntry& e = entry(u);
  const std::string programName(platform::FieldText(e.programName));
  std::string directory(platform::FieldText(settings().recordingPath));
  std::string name = programName;
  if (!settings().noSubdirectories) {
    name = CleanProgramName(programName);
    directory += name;
  }
  if (!makeDirectory(directory)) {
    // The slot stays the entry's until the next tick closes it out.
    jobs.releaseJobKeepingSlot(e.jobSlot);
    return Next::NextEntry;
  }

  const std::string url(platform::FieldText(e.url));
  const std::string extension = ScheduledExtension(url, e.shoutcast != 0);
  // Relative recording paths are meant from the start-up directory.
  std::filesystem::path output =
      ScheduledOutputName(directory, name, now_.month, now_.day, extension);
  if (output.is_relative()) output = context_.recording.startupDirectory / output;

  const bool recordsUntilDisconnect =
      e.monitorMountpoint && e.autoCreated && e.recordUntilDisconnect;
  const std::string startSoundFile = context_.window.startSoundFileText();
  recording::SetUpRecordingJob(job, {.url = url,
                                     .outputFile = output.string(),
                                     .shoutcast = e.shoutcast != 0,
                                     .convert = e.convert != 0,
                                     .deleteOriginal = e.deleteOriginal != 0,
                                     .bitrate = e.bitrate,
                                     .persistent = !recordsUntilDisconnect,
                                     .extension = extension,
                                     .monitorMountpoint = e.monitorMountpoint != 0,
                                     .entryIndex = static_cast<std::int32_t>(u),
                                     .startSound = context_.window.startSoundChecked(),
                                     .startSoundFile = startSoundFile,
                                     .disableSounds = settings().disableSounds != 0,
                                     .ircClient = context_.ircClient,
                                     .updateTopic = settings().ircUpdateTopic != 0});
  job.programName = programName;
  job.entryUrl = url;
  job.timeoutSeconds =
      static_cast<std::uint16_t>(e.timeout) == 0 ? 30 : static_cast<std::uint16_t>(e.timeout);
  job.entryMonitorsMountpoint = e.monitorMountpoint == 1;

  platform::SmallStackThread thread = recording::StartRecordingThread(job, context_.recording);
  if (!thread.joinable()) {
    // No thread to be had now: the entry waits, Idle, for a later tick.
    jobs.giveSlotBack(e.jobSlot);
    e.jobSlot = kJobSlotIdle;
    return Next::CheckLive;
  }
  e.recordingThread = std::make_shared<platform::SmallStackThread>(std::move(thread));
  e.running = 1;
  state().manualResultText.assign(1, ' ');  // a single blank: no results shown
  return Next::CheckLive;
}

}  // namespace larkspan::schedule
