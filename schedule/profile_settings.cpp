#include "schedule/profile_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "schedule/control_text.h"

namespace larkspan::schedule {

ProfileSettings DefaultProfileSettings(const std::filesystem::path& homeFolder) {
  ProfileSettings settings;
  std::string path = homeFolder.string();
  if (path.empty() || path.back() != '/') path.push_back('/');
  CopyControlText(settings.recordingPath, path);
  return settings;
}

std::filesystem::path UserHomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] != '\0') {
    return found->pw_dir;
  }
  return "/";
}

}  // namespace larkspan::schedule
