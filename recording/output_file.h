#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace larkspan::recording {

// The name a recording is written to: `requested` when no file of that name
// exists, else the name with its extension cut and "_00", "_01", ... and
// `extension` added (a two-character suffix of an earlier pass is replaced).
// Only the file name's own extension is cut, never a dot of a folder name.
std::string NextFreeOutputName(std::string name, std::string_view extension);

// `path` without its file name's extension: cut at the last '.' of the name
// after the last '/', unless that '.' begins the name.
std::string WithoutExtension(std::string path);

// A recording's output file, opened for writing raw bytes. It is created new:
// an existing file is never emptied or replaced.
class OutputFile {
 public:
  // Creates the file by the name rule above. Nothing when it cannot be
  // created (no such folder, no permission) or `requested` names no file
  // (empty, ending in '/', "." or ".."); errno then says why.
  static std::optional<OutputFile> create(const std::string& requested, std::string_view extension);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Writes all of `data`; the error when it cannot (a full disk, a file
  // grown past its size limit), else none.
  std::error_code write(const char* data, std::size_t size);
  void close();

  const std::string& path() const { return path_; }
  std::uint64_t bytesWritten() const { return bytesWritten_; }

 private:
  OutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_ = -1;
  std::string path_;
  std::uint64_t bytesWritten_ = 0;
};

}  // namespace larkspan::recording
