#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace larkspan::test {
namespace {

std::vector<char*> NullTerminated(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const auto& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment,
                           const std::filesystem::path& outputFile) {
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
  if (rc != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !status_) stop();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), status_(std::exchange(other.status_, std::nullopt)) {}

bool ChildProcess::reap(int options) {
  if (status_) return true;
  if (pid_ <= 0) return false;
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid_, &status, options);
    if (r == pid_) {
      status_ = status;
      return true;
    }
    if (r == 0) return false;
    if (errno == EINTR) continue;
    status_ = -1;  // not our child any more: nothing left to wait for
    return true;
  }
}

bool ChildProcess::running() {
  return pid_ > 0 && !reap(WNOHANG);
}

int ChildProcess::stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return -1;
  if (reap(WNOHANG)) return *status_;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (std::chrono::steady_clock::now() < deadline) {
    if (reap(WNOHANG)) return *status_;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  return wait();
}

int ChildProcess::wait() {
  if (pid_ <= 0) return -1;
  reap(0);
  return *status_;
}

std::vector<std::string> ChildProcess::CurrentEnvironment() {
  std::vector<std::string> variables;
  for (char** v = environ; *v != nullptr; ++v) variables.emplace_back(*v);
  return variables;
}

}  // namespace larkspan::test
