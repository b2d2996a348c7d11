#include "app/startup_lock.h"

namespace larkspan::app {

StartupLock::StartupLock(const std::filesystem::path& startupDirectory)
    : lock_(startupDirectory / kLockFileName) {
  if (lock_.state() != platform::FileLock::State::Busy) return;
  const std::string process =
      lock_.holder() > 0 ? " (process " + std::to_string(lock_.holder()) + ")" : "";
  refusal_ = "Another Larkspan" + process + " is running in " + startupDirectory.string() +
             " and uses the profile there; this one ends without loading or saving it.";
}

}  // namespace larkspan::app
