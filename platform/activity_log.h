#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace larkspan::platform {

// The activity log, "log.txt" in the start-up directory. Every writer opens it
// for appending, writes one line with a single write and closes it again, so
// lines of different threads and processes interleave but never tear.
//
// A log keeps one descriptor in reserve (copies share it): when the process
// has run out of descriptors, append() gives it up for the moment of its
// line, so that the line saying so still reaches the file.
class ActivityLog {
 public:
  explicit ActivityLog(const std::filesystem::path& startupDirectory);

  const std::filesystem::path& path() const { return path_; }

  // Appends `line` as it is (callers put the line feed in). False when the
  // file cannot be opened or written; the caller then skips the line.
  bool append(std::string_view line) const;

  // The file held open across a few steps, for a recording's first line,
  // which is opened before the connection is made and written after it.
  class OpenFile {
   public:
    OpenFile() = default;
    explicit OpenFile(int fd) : fd_(fd) {}
    OpenFile(OpenFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    OpenFile& operator=(OpenFile&& other) noexcept;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() { close(); }

    bool isOpen() const { return fd_ >= 0; }
    bool write(std::string_view line) const;
    void close();

   private:
    int fd_ = -1;
  };

  OpenFile open() const;

 private:
  struct Reserve;

  std::filesystem::path path_;
  std::shared_ptr<Reserve> reserve_;
};

// Writes all of `data` to `fd` with as few writes as the kernel allows
// (one, for a regular file opened for appending). False on an error.
bool WriteAll(int fd, std::string_view data);

}  // namespace larkspan::platform
