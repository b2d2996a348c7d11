#include "schedule/profile.h"

#include <cerrno>
#include <cstring>

#include "schedule/atomic_file.h"
#include "schedule/byte_io.h"
#include "schedule/profile_reader.h"
#include "schedule/profile_writer.h"

namespace larkspan::schedule {

bool LoadProfile(Profile& profile, const std::filesystem::path& startupDirectory) {
  const std::scoped_lock lock(profile.scheduleLock);
  profile.readFailure.clear();
  int error = 0;
  if (const auto file = FileSource::Open(startupDirectory / kProfileFileName, error)) {
    // Read into a copy: a read that fails halfway must leave the defaults.
    ProfileSettings settings = profile.settings;
    ReadProfile(*file, settings, profile.schedule, profile.knownMountpoints);
    if (file->error() == 0) {
      profile.settings = settings;
      return true;
    }
    error = file->error();
  }
  if (error != ENOENT) profile.readFailure = std::strerror(error);
  profile.schedule.reset();
  profile.knownMountpoints.clear();
  return false;
}

bool SaveProfile(const Profile& profile, const std::filesystem::path& startupDirectory) {
  const std::scoped_lock lock(profile.scheduleLock);
  if (!profile.readFailure.empty()) return false;
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
