#include "schedule/byte_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/activity_log.h"

namespace larkspan::schedule {

namespace {
constexpr std::size_t kFileBufferSize = std::size_t{1} << 20;
}

bool MemorySource::readExact(std::span<std::byte> out) {
  if (out.size() > data_.size()) {
    data_ = {};
    return false;
  }
  std::copy_n(data_.begin(), out.size(), out.begin());
  data_ = data_.subspan(out.size());
  return true;
}

std::unique_ptr<FileSource> FileSource::Open(const std::filesystem::path& path, int& error) {
  error = 0;
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0) {
    error = errno;
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return nullptr;
  }
  return std::make_unique<FileSource>(Key{}, std::move(fd),
                                      static_cast<std::uint64_t>(status.st_size));
}

FileSource::FileSource(Key, UniqueFd fd, std::uint64_t size)
    : fd_(std::move(fd)),
      size_(size),
      // A small profile gets a small buffer. Its bytes are left uncleared: they
      // are only ever read after a read() has filled them.
      bufferSize_(static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 4096, kFileBufferSize))),
      buffer_(std::make_unique_for_overwrite<std::byte[]>(bufferSize_)) {}

bool FileSource::fill() {
  begin_ = 0;
  end_ = 0;
  if (ended_) return false;
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer_.get(), bufferSize_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) error_ = errno;
      ended_ = true;
      return false;
    }
    end_ = static_cast<std::size_t>(n);
    return true;
  }
}

bool FileSource::readExact(std::span<std::byte> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    if (begin_ == end_ && !fill()) return false;
    const std::size_t n = std::min(out.size() - done, end_ - begin_);
    std::memcpy(out.data() + done, buffer_.get() + begin_, n);
    begin_ += n;
    done += n;
  }
  consumed_ += out.size();
  return true;
}

bool FileSource::atEnd() {
  return begin_ == end_ && !fill();
}

std::uint64_t FileSource::remaining() const {
  return consumed_ < size_ ? size_ - consumed_ : 0;
}

bool MemorySink::write(std::span<const std::byte> data) {
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  return true;
}

bool FdSink::write(std::span<const std::byte> data) {
  return platform::WriteAll(
      fd_, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

}  // namespace larkspan::schedule
