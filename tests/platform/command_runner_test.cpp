#include "platform/command_runner.h"

#include <gtest/gtest.h>

#include <csignal>

#include "tests/support/temporary_folder.h"

namespace larkspan::platform {
namespace {

TEST(SpawnCommandRunner, RunsWithoutAShellOnAnEmptyInputWithCleanSignalsAndGivesTheExitStatus) {
  test::TemporaryFolder folder;
  const auto marker = folder.path() / "ran";
  const std::string hostile = "$(touch " + marker.string() + ") ; touch " + marker.string();
  // `read` fails at once on /dev/null; on an open terminal or pipe it waits.
  // printf writes its argument as it is; a shell would have run the touch.
  SpawnCommandRunner runner;
  EXPECT_EQ(runner.run({"sh", "-c", "read answer || printf '%s' \"$1\" > \"$2\"; exit 3", "sh",
                        hostile, (folder.path() / "out").string()}),
            3);
  EXPECT_EQ(test::ReadFile(folder.path() / "out"), hostile);
  EXPECT_FALSE(std::filesystem::exists(marker));
  for (const char* program : {"false", "/nonexistent/ffmpeg", "larkspan-no-such-program"})
    EXPECT_NE(runner.run({program}), 0) << program;
  EXPECT_NE(runner.run({}), 0);
  EXPECT_NE(runner.run({"sh", "-c", "kill -TERM $$"}), 0) << "killed by a signal";

  // The program blocks its stop signals in every thread and ignores SIGPIPE;
  // what it starts has no signal blocked and SIGPIPE at its default.
  sigset_t stopSignals, saved;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &saved);
  const auto savedPipe = std::signal(SIGPIPE, SIG_IGN);
  // /proc/self is cp itself: the state it was started with.
  const int status = runner.run({"cp", "/proc/self/status", folder.path() / "s"});
  std::signal(SIGPIPE, savedPipe);
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  ASSERT_EQ(status, 0);

  const std::string procStatus = test::ReadFile(folder.path() / "s");
  const auto mask = [&](const std::string& name) {
    return std::stoull(procStatus.substr(procStatus.find(name) + name.size()), nullptr, 16);
  };
  EXPECT_EQ(mask("\nSigBlk:"), 0u);
  EXPECT_EQ(mask("\nSigIgn:") & (1ull << (SIGPIPE - 1)), 0u);
}

}  // namespace
}  // namespace larkspan::platform
