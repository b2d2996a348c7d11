#include "platform/command_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

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

class SpawnAttributes {
 public:
  SpawnAttributes() { ok_ = posix_spawnattr_init(&attributes_) == 0; }
  ~SpawnAttributes() {
    if (ok_) posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  bool ok() const { return ok_; }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_{};
  bool ok_ = false;
};

// The child starts with no signal blocked: the program blocks its stop
// signals in every thread, and an encoder that inherited that mask could be
// ended only with SIGKILL. SIGPIPE, which the program ignores, is set back to
// its default; exec resets handlers by itself, and a signal that whoever
// started the program ignores (nohup) stays ignored, as meant for the job.
bool SetCleanSignalState(posix_spawnattr_t* attributes) {
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  return posix_spawnattr_setsigmask(attributes, &none) == 0 &&
         posix_spawnattr_setsigdefault(attributes, &defaults) == 0 &&
         posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
}

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

  SpawnAttributes attributes;
  if (!attributes.ok() || !SetCleanSignalState(attributes.get())) return kCannotStart;

  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], actions.get(), attributes.get(), args.data(), environ) != 0) {
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
