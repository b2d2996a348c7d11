#include "platform/command_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace larkspan::platform {
namespace {

TEST(SpawnCommandRunner, ReturnsTheExitStatus) {
  SpawnCommandRunner runner;
  EXPECT_EQ(runner.run({"true"}), 0);
  EXPECT_NE(runner.run({"false"}), 0);
  EXPECT_EQ(runner.run({"sh", "-c", "exit 3"}), 3);
}

TEST(SpawnCommandRunner, AProgramThatCannotStartIsAFailure) {
  SpawnCommandRunner runner;
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

}  // namespace
}  // namespace larkspan::platform
