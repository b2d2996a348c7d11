#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/temporary_folder.h"

extern char** environ;

namespace larkspan::test {

// A program the tests start (a real server on loopback) and stop by its
// process id, never by name.
class ChildProcess {
 public:
  // Starts argv[0] (searched on the PATH when it holds no '/') with exactly
  // `environment` ("NAME=value" strings) as its environment, standard input
  // from /dev/null, and standard output and error appended to `outputFile`
  // (/dev/null when empty). Throws std::runtime_error when it cannot start.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::filesystem::path& outputFile = {}) {
    if (argv.empty()) throw std::runtime_error("ChildProcess: no program");
    const std::string output = outputFile.empty() ? "/dev/null" : outputFile.string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const auto args = NullTerminated(argv);
    const auto env = NullTerminated(environment);
    const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }
  // Stops the process if it still runs.
  ~ChildProcess() { stop(); }
  ChildProcess(ChildProcess&& other) noexcept
      : pid_(std::exchange(other.pid_, -1)), status_(std::exchange(other.status_, std::nullopt)) {}
  ChildProcess& operator=(ChildProcess&&) = delete;

  pid_t pid() const { return pid_; }

  // True while the process has not ended (it is reaped when it has).
  bool running() { return pid_ > 0 && !reap(WNOHANG); }

  // Sends SIGTERM, waits up to `grace` for the process to end, then sends
  // SIGKILL and waits for it. Returns its wait status as waitpid gives it.
  int stop(std::chrono::milliseconds grace = std::chrono::seconds(5)) {
    if (pid_ <= 0) return -1;
    if (reap(WNOHANG)) return *status_;
    ::kill(pid_, SIGTERM);
    for (const auto deadline = std::chrono::steady_clock::now() + grace;
         std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(20)))
      if (reap(WNOHANG)) return *status_;
    ::kill(pid_, SIGKILL);
    return wait();
  }

  // Waits without limit for the process to end; returns its wait status.
  int wait() { return pid_ > 0 && reap(0) ? *status_ : -1; }

  // This process's environment, to pass on with additions.
  static std::vector<std::string> CurrentEnvironment() {
    std::vector<std::string> variables;
    for (char** v = environ; *v != nullptr; ++v) variables.emplace_back(*v);
    return variables;
  }

 private:
  static std::vector<char*> NullTerminated(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const auto& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
  }

  bool reap(int options) {
    if (status_) return true;
    int status = 0;
    for (;;) {
      const pid_t r = ::waitpid(pid_, &status, options);
      if (r == 0) return false;
      if (r < 0 && errno == EINTR) continue;
      // -1 when it is not our child any more: nothing left to wait for.
      status_ = r == pid_ ? status : -1;
      return true;
    }
  }

  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Runs a program to its end; true when it exits 0. What it printed goes to
// `printed`.
inline bool RunToEnd(const std::vector<std::string>& argv, std::string& printed) {
  const TemporaryFolder folder;
  const int status =
      ChildProcess(argv, ChildProcess::CurrentEnvironment(), folder.path() / "output").wait();
  printed = ReadFile(folder.path() / "output");
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace larkspan::test
