#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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
               const std::filesystem::path& outputFile = {});
  // Stops the process if it still runs.
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // True while the process has not ended (it is reaped when it has).
  bool running();

  // Sends SIGTERM, waits up to `grace` for the process to end, then sends
  // SIGKILL and waits for it. Returns its wait status as waitpid gives it.
  int stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

  // Waits without limit for the process to end; returns its wait status.
  int wait();

  // This process's environment, to pass on with additions.
  static std::vector<std::string> CurrentEnvironment();

 private:
  bool reap(int options);

  pid_t pid_ = -1;
  std::optional<int> status_;
};

}  // namespace larkspan::test
