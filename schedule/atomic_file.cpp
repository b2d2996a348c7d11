#include "schedule/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

#include "schedule/unique_fd.h"

namespace larkspan::schedule {

namespace {

// Removes the temporary file unless the rename has made it the target.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!committed_) ::unlink(path_.c_str());
  }
  const std::filesystem::path& path() const { return path_; }
  void commit() { committed_ = true; }

 private:
  std::filesystem::path path_;
  bool committed_ = false;
};

std::string RandomSuffix(std::random_device& random) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(random()));
  return text;
}

// Creates a new file beside `target` that no one else has opened: O_EXCL
// refuses names that exist, symbolic links included.
UniqueFd CreateSibling(const std::filesystem::path& target, std::filesystem::path& created) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::filesystem::path candidate = target;
    candidate += "." + RandomSuffix(random) + ".tmp";
    UniqueFd fd(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.valid()) {
      created = std::move(candidate);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return UniqueFd();
}

// Makes the rename itself survive a crash. The new content is in place already;
// a failure here changes nothing the caller could act on.
void SyncFolder(const std::filesystem::path& folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

}  // namespace

bool ReplaceFileAtomically(const std::filesystem::path& target,
                           const std::function<bool(ByteSink&)>& write) {
  std::filesystem::path created;
  UniqueFd fd = CreateSibling(target, created);
  if (!fd.valid()) return false;
  TemporaryFile temporary(std::move(created));

  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd.get(), old.st_mode & 07777);
  }

  FdSink sink(fd.get());
  if (!write(sink) || ::fsync(fd.get()) != 0 || !fd.close()) return false;
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) return false;
  temporary.commit();
  const std::filesystem::path folder = target.parent_path();
  SyncFolder(folder.empty() ? std::filesystem::path(".") : folder);
  return true;
}

}  // namespace larkspan::schedule
