#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "schedule/unique_fd.h"

// Where the profile reader takes its bytes from and where the writer puts them:
// a file, or memory for tests and the fuzzer.
namespace larkspan::schedule {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills all of `out` and returns true, or returns false when the data ends (or
  // fails) first; the bytes of such a partial read are gone.
  virtual bool readExact(std::span<std::byte> out) = 0;
  // True when no byte is left to read.
  virtual bool atEnd() = 0;
  // How many bytes are left at most. Readers size allocations by it, never by a
  // count the data claims.
  virtual std::uint64_t remaining() const = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::byte> data) : data_(data) {}
  bool readExact(std::span<std::byte> out) override;
  bool atEnd() override { return data_.empty(); }
  std::uint64_t remaining() const override { return data_.size(); }

 private:
  std::span<const std::byte> data_;
};

// Reads a regular file through a buffer of its own. A read error ends the data
// as the end of the file would; error() tells the two apart.
class FileSource final : public ByteSource {
  struct Key {};

 public:
  // Nothing when the file cannot be opened or is not a regular file; `error`
  // is then the errno of the failure (EISDIR for a folder, EINVAL for another
  // kind of file), and 0 otherwise.
  static std::unique_ptr<FileSource> Open(const std::filesystem::path& path, int& error);
  FileSource(Key, UniqueFd fd, std::uint64_t size);

  bool readExact(std::span<std::byte> out) override;
  bool atEnd() override;
  std::uint64_t remaining() const override;
  // The errno of the read that failed; 0 while none has.
  int error() const { return error_; }

 private:
  bool fill();

  UniqueFd fd_;
  std::uint64_t size_;
  std::uint64_t consumed_ = 0;
  std::size_t bufferSize_;
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
  int error_ = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of `data`; false on a failure.
  virtual bool write(std::span<const std::byte> data) = 0;
};

class MemorySink final : public ByteSink {
 public:
  bool write(std::span<const std::byte> data) override;
  const std::vector<std::byte>& bytes() const { return bytes_; }

 private:
  std::vector<std::byte> bytes_;
};

// Writes to an open file descriptor it does not own.
class FdSink final : public ByteSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  bool write(std::span<const std::byte> data) override;

 private:
  int fd_;
};

}  // namespace larkspan::schedule
