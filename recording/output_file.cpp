#include "recording/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/activity_log.h"

namespace larkspan::recording {
namespace {

bool Exists(const std::string& name) {
  return ::access(name.c_str(), F_OK) == 0;
}

// Gives up after this many names: a folder that holds them all is not a place
// to record into.
constexpr int kMaxCounter = 100'000;

}  // namespace

std::string WithoutExtension(std::string path) {
  const std::size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
  const std::size_t dot = path.rfind('.');
  if (dot != std::string::npos && dot > nameStart) path.resize(dot);
  return path;
}

std::string NextFreeOutputName(std::string name, std::string_view extension) {
  for (int counter = 0; Exists(name) && counter < kMaxCounter; ++counter) {
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.resize(dot);
    char number[16];
    std::snprintf(number, sizeof number, "%02d", counter);
    if (name.size() >= 3 && name[name.size() - 3] == '_') name.resize(name.size() - 3);
    name = name + "_" + number + "." + std::string(extension);
  }
  return name;
}

std::optional<OutputFile> OutputFile::create(const std::string& requested,
                                             std::string_view extension) {
  // A name that names no file of its own (empty, a folder, "." or "..")
  // would otherwise become "_00" and the extension inside that folder.
  const std::filesystem::path fileName = std::filesystem::path(requested).filename();
  if (fileName.empty() || fileName == "." || fileName == "..") {
    errno = EINVAL;
    return std::nullopt;
  }
  std::string name = requested;
  for (int attempt = 0; attempt < 16; ++attempt) {
    name = NextFreeOutputName(name, extension);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return OutputFile(fd, name);
    // Someone took the name between the look and the create: take the next.
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), bytesWritten_(other.bytesWritten_) {
  other.fd_ = -1;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    bytesWritten_ = other.bytesWritten_;
    other.fd_ = -1;
  }
  return *this;
}

OutputFile::~OutputFile() {
  close();
}

std::error_code OutputFile::write(const char* data, std::size_t size) {
  if (fd_ < 0) return std::make_error_code(std::errc::bad_file_descriptor);
  errno = 0;
  if (!platform::WriteAll(fd_, std::string_view(data, size)))
    return {errno != 0 ? errno : EIO, std::generic_category()};
  bytesWritten_ += size;
  return {};
}

void OutputFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace larkspan::recording
