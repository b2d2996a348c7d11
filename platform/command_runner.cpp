#include "platform/command_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace larkspan::platform {
namespace {

constexpr int kCannotStart = 127;

class SpawnFileActions {
 public:
  SpawnFileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnFileActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

}  // namespace

int SpawnCommandRunner::run(const std::vector<std::string>& argv) {
  if (argv.empty() || argv.front().empty()) return kCannotStart;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  SpawnFileActions actions;
  if (!actions.ok()) return kCannotStart;
  // A child that waits on an open standard input (ffmpeg asking whether to
  // overwrite) would hang the recording thread for ever.
  if (posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
      0) {
    return kCannotStart;
  }

  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], actions.get(), nullptr, args.data(), environ) != 0) {
    return kCannotStart;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kCannotStart;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return kCannotStart + 1;
}

}  // namespace larkspan::platform
