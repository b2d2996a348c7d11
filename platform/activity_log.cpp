#include "platform/activity_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/descriptor_limit.h"

namespace larkspan::platform {

// The descriptor held back, on /dev/null.
struct ActivityLog::Reserve {
  Reserve() : fd(OpenDevNull()) {}
  ~Reserve() {
    if (fd >= 0) ::close(fd);
  }
  Reserve(const Reserve&) = delete;
  Reserve& operator=(const Reserve&) = delete;

  static int OpenDevNull() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

  std::mutex mutex;
  int fd;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

ActivityLog::ActivityLog(const std::filesystem::path& startupDirectory)
    : path_(startupDirectory / "log.txt"), reserve_(std::make_shared<Reserve>()) {}

ActivityLog::OpenFile ActivityLog::open() const {
  return OpenFile(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
}

bool ActivityLog::append(std::string_view line) const {
  OpenFile file = open();
  if (!file.isOpen() && IsOutOfDescriptors(errno)) {
    // The lowest free descriptor is the one just given up, unless another
    // thread takes it first; then the line is lost as it would have been.
    const std::lock_guard lock(reserve_->mutex);
    if (reserve_->fd >= 0) ::close(reserve_->fd);
    file = open();
    const bool written = file.isOpen() && file.write(line);
    file.close();
    reserve_->fd = Reserve::OpenDevNull();
    return written;
  }
  return file.isOpen() && file.write(line);
}

ActivityLog::OpenFile& ActivityLog::OpenFile::operator=(OpenFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool ActivityLog::OpenFile::write(std::string_view line) const {
  return fd_ >= 0 && WriteAll(fd_, line);
}

void ActivityLog::OpenFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace larkspan::platform
