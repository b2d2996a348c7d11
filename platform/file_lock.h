#pragma once

#include <sys/types.h>

#include <filesystem>

namespace larkspan::platform {

// An advisory lock (flock) on a file that names its holder's process id. It
// is tried once and never waited for. The kernel drops it when the process
// ends, however it ends, so a crash never leaves the file locked; the holder
// removes the file when it lets go.
class FileLock {
 public:
  enum class State {
    Held,         // this process holds it
    Busy,         // another process holds it; holder() names that process
    Unavailable,  // the file cannot be created or locked (a read-only folder)
  };

  explicit FileLock(std::filesystem::path file);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  State state() const { return state_; }
  // When Busy: the process id the holder wrote, 0 when it has not yet.
  pid_t holder() const { return holder_; }

 private:
  std::filesystem::path file_;
  int fd_ = -1;
  State state_ = State::Unavailable;
  pid_t holder_ = 0;
};

}  // namespace larkspan::platform
