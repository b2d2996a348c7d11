#include "platform/command_runner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

namespace larkspan::platform {
namespace {

TEST(SpawnCommandRunner, ReturnsTheExitStatusAndFailsAProgramThatCannotStart) {
  SpawnCommandRunner runner;
  EXPECT_EQ(runner.run({"true"}), 0);
  EXPECT_NE(runner.run({"false"}), 0);
  EXPECT_EQ(runner.run({"sh", "-c", "exit 3"}), 3);
  EXPECT_NE(runner.run({"/nonexistent/ffmpeg"}), 0);
  EXPECT_NE(runner.run({"larkspan-no-such-program"}), 0);
  EXPECT_NE(runner.run({}), 0);
  EXPECT_NE(runner.run({"sh", "-c", "kill -TERM $$"}), 0);
}

TEST(SpawnCommandRunner, ArgumentsReachTheProgramUnchangedWithoutAShell) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("larkspan-cmd-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto marker = dir / "ran";
  const std::string hostile = "$(touch " + marker.string() + ") ; touch " + marker.string();
  const auto out = dir / "out";
  SpawnCommandRunner runner;
  // printf writes its argument as it is; a shell would have run the touch.
  EXPECT_EQ(runner.run({"sh", "-c", "printf '%s' \"$1\" > \"$2\"", "sh", hostile, out.string()}),
            0);
  std::ifstream in(out);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, hostile);
  EXPECT_FALSE(std::filesystem::exists(marker));
  std::filesystem::remove_all(dir);
}

TEST(SpawnCommandRunner, StandardInputIsEmptySoAQuestionCannotHang) {
  SpawnCommandRunner runner;
  // `read` fails at once on /dev/null; on an open terminal or pipe it waits.
  EXPECT_NE(runner.run({"sh", "-c", "read answer"}), 0);
}

TEST(SpawnCommandRunner, TheProgramStartsWithNoSignalBlockedAndSigpipeAtItsDefault) {
  // The program blocks its stop signals in every thread and ignores SIGPIPE.
  sigset_t stopSignals;
  sigset_t saved;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &saved);
  const auto savedPipe = std::signal(SIGPIPE, SIG_IGN);
  const auto copy =
      std::filesystem::temp_directory_path() / ("larkspan-status-" + std::to_string(::getpid()));
  // /proc/self is cp itself: the state it was started with.
  const int status = SpawnCommandRunner().run({"cp", "/proc/self/status", copy.string()});
  std::signal(SIGPIPE, savedPipe);
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  ASSERT_EQ(status, 0);

  std::ifstream in(copy);
  std::map<std::string, unsigned long long> masks;
  for (std::string line; std::getline(in, line);) {
    const std::string name = line.substr(0, line.find(':') + 1);
    if (name == "SigBlk:" || name == "SigIgn:")
      masks[name] = std::stoull(line.substr(7), nullptr, 16);
  }
  std::filesystem::remove(copy);
  ASSERT_EQ(masks.size(), 2u);
  EXPECT_EQ(masks["SigBlk:"], 0u);
  EXPECT_EQ(masks["SigIgn:"] & (1ull << (SIGPIPE - 1)), 0u);
}

}  // namespace
}  // namespace larkspan::platform
