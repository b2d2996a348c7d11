#pragma once

#include <string>
#include <vector>

namespace larkspan::platform {

// Runs one program with an argument vector, never through a shell: file names
// come from users and from remote servers.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Runs argv[0] (searched on the PATH when it holds no '/') with the given
  // arguments, standard input from /dev/null, and waits for it. Returns its
  // exit status: 0 is success; anything else, including a program that cannot
  // be started or that was killed by a signal, is failure.
  virtual int run(const std::vector<std::string>& argv) = 0;
};

class SpawnCommandRunner final : public CommandRunner {
 public:
  int run(const std::vector<std::string>& argv) override;
};

}  // namespace larkspan::platform
