#pragma once

#include <filesystem>
#include <string>

#include "platform/file_lock.h"

namespace larkspan::app {

// The lock file in the start-up folder, beside the profile.
inline constexpr const char* kLockFileName = "larkspan.lock";

// The start-up folder's lock, taken by the window and by --headless before
// they load the profile and held until the process ends: each saves the
// profile when it exits, so a second one on the same folder would save over
// the first one's schedule. A folder that takes no lock file (read-only)
// does not stop the program.
class StartupLock {
 public:
  explicit StartupLock(const std::filesystem::path& startupDirectory);

  // Empty when this program may go on; otherwise the message that says which
  // program holds the folder, after which this one ends with
  // kExitAnotherInstance without loading or saving the profile.
  const std::string& refusal() const { return refusal_; }

 private:
  platform::FileLock lock_;
  std::string refusal_;
};

}  // namespace larkspan::app
