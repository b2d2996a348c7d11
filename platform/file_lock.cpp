#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

namespace larkspan::platform {
namespace {

pid_t ReadProcessId(int fd) {
  char text[32];
  const ssize_t size = ::pread(fd, text, sizeof text, 0);
  pid_t pid = 0;
  if (size > 0) std::from_chars(text, text + size, pid);
  return pid;
}

bool SameFile(int fd, const std::filesystem::path& file) {
  struct stat opened {};
  struct stat named {};
  return ::fstat(fd, &opened) == 0 && ::stat(file.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

FileLock::FileLock(std::filesystem::path file) : file_(std::move(file)) {
  // A few rounds at most: each one lost means a holder let go meanwhile.
  for (int round = 0; round < 8; ++round) {
    const int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) {
        state_ = State::Busy;
        holder_ = ReadProcessId(fd);
      }
      ::close(fd);
      return;
    }
    // The holder before may have removed the file between our open and our
    // lock: a lock on a file that no longer has the name guards nothing.
    if (SameFile(fd, file_)) {
      const std::string pid = std::to_string(::getpid()) + "\n";
      // Without the id the lock holds all the same; a second program then
      // names no process.
      const bool written = ::ftruncate(fd, 0) == 0 &&
                           ::write(fd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size());
      static_cast<void>(written);
      fd_ = fd;
      state_ = State::Held;
      return;
    }
    ::close(fd);
  }
}

FileLock::~FileLock() {
  if (fd_ < 0) return;
  // Removed while still locked, so that nobody takes a lock on a file that
  // is about to lose its name.
  ::unlink(file_.c_str());
  ::close(fd_);
}

}  // namespace larkspan::platform
