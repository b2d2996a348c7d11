#include "schedule/profile.h"

#include "schedule/atomic_file.h"
#include "schedule/byte_io.h"
#include "schedule/profile_reader.h"
#include "schedule/profile_writer.h"

namespace larkspan::schedule {

bool LoadProfile(Profile& profile, const std::filesystem::path& startupDirectory) {
  const std::scoped_lock lock(profile.scheduleLock);
  const std::unique_ptr<FileSource> file = FileSource::Open(startupDirectory / kProfileFileName);
  if (!file) {
    profile.schedule.reset();
    profile.knownMountpoints.clear();
    return false;
  }
  ReadProfile(*file, profile.settings, profile.schedule, profile.knownMountpoints);
  return true;
}

bool SaveProfile(const Profile& profile, const std::filesystem::path& startupDirectory) {
  const std::scoped_lock lock(profile.scheduleLock);
  return ReplaceFileAtomically(startupDirectory / kProfileFileName, [&](ByteSink& sink) {
    return WriteProfile(sink, profile.settings, profile.schedule, profile.knownMountpoints);
  });
}

std::optional<std::size_t> AddScheduleEntry(Profile& profile, const ScheduleEntry& entry,
                                            const MonitorOptions& options,
                                            platform::Prompter& prompter) {
  std::optional<std::size_t> slot;
  {
    const std::scoped_lock lock(profile.scheduleLock);
    slot = profile.schedule.addEntry(entry, options);
  }
  // The box is modal: it must not keep the lock from the scheduler meanwhile.
  if (!slot) prompter.warning(kTableGrowthFailedMessage);
  return slot;
}

}  // namespace larkspan::schedule
