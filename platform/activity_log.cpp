#include "platform/activity_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace larkspan::platform {

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
    : path_(startupDirectory / "log.txt") {}

ActivityLog::OpenFile ActivityLog::open() const {
  return OpenFile(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
}

bool ActivityLog::append(std::string_view line) const {
  const OpenFile file = open();
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
