#include "platform/command_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/posix_object.h"

extern char** environ;

namespace larkspan::platform {
namespace {

constexpr int kCannotStart = 127;

using SpawnFileActions = PosixObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init,
                                     posix_spawn_file_actions_destroy>;
using SpawnAttributes =
    PosixObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

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
