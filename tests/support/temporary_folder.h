#pragma once

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>

namespace larkspan::test {

// The whole of `file`; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "larkspan-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // As root, lets a server that drops to nobody reach the folder and write
  // into `subfolders` of it; as anyone else the server keeps its user.
  void handToNobody(std::initializer_list<std::filesystem::path> subfolders) const {
    if (::geteuid() != 0) return;
    namespace fs = std::filesystem;
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    const passwd* nobody = ::getpwnam("nobody");
    const group* nogroup = ::getgrnam("nogroup");
    for (const fs::path& folder : subfolders) {
      if (nobody == nullptr || nogroup == nullptr ||
          ::chown((path_ / folder).c_str(), nobody->pw_uid, nogroup->gr_gid) != 0)
        throw std::runtime_error("cannot hand " + folder.string() + " to nobody");
    }
  }

 private:
  std::filesystem::path path_;
};

}  // namespace larkspan::test
