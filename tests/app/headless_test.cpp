// The program without windows, run as a separate process: what it does with
// an unreadable profile, a second instance and a hang-up, and the windowed
// form without a display. And its engine's exit, in this process.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "app/engine.h"
#include "app/exit_status.h"
#include "platform/text.h"
#include "schedule/profile.h"
#include "tests/support/child_process.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temporary_folder.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Polls `done` until it holds or `limit` has passed; true when it holds.
bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  for (const auto end = std::chrono::steady_clock::now() + limit; !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// A profile that exists but cannot be read (run as nobody, the file is root's
// and private; as another user, private is enough) is named on standard error,
// left as it was at the exit, and the exit status says nothing was saved.
TEST(Headless, AnUnreadableProfileIsNeverSavedOver) {
  test::TemporaryFolder folder;
  fs::permissions(folder.path(), fs::perms::all);
  const auto profile = folder.path() / "brambly.prf";
  std::ofstream(profile) << "a profile of another run";
  fs::permissions(profile, fs::perms::none);
  std::vector<std::string> command = {"env", "-C", folder.path().string(), LARKSPAN_PROGRAM,
                                      "--headless"};
  if (::geteuid() == 0)
    command.insert(command.begin(),
                   {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  test::ChildProcess program(command, test::ChildProcess::CurrentEnvironment(),
                             folder.path() / "output.txt");
  const auto output = [&] { return test::ReadFile(folder.path() / "output.txt"); };
  WaitUntil([&] { return output().find("Permission denied") != std::string::npos; }, 10s);
  const int status = program.stop(30s);
  EXPECT_NE(output().find("Cannot read the profile " + profile.string() + ": Permission denied"),
            std::string::npos)
      << output();
  EXPECT_NE(output().find(profile.string() + " was not saved"), std::string::npos) << output();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
  EXPECT_EQ(test::ReadFile(profile), "a profile of another run");
}

// Whether the process is the program yet (sh and env replace themselves by
// it) and its soft "Max open files" is the hard one.
bool RaisedItsDescriptorLimit(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code error;
  if (fs::read_symlink(proc + "/exe", error) != fs::canonical(LARKSPAN_PROGRAM)) return false;
  const std::string limits = test::ReadFile(proc + "/limits");
  std::istringstream values(limits.substr(limits.find("Max open files") + 14));
  std::string soft, hard;
  values >> soft >> hard;
  return soft == hard;
}

// Each of two programs on one folder would save the profile at its exit: the
// second says which process holds the folder and ends at once, saving
// nothing. The lock goes with its holder, even one that crashed: a third
// one, started as a desktop starts it (a soft descriptor limit far below the
// hard one), raises its limit and ends on a hang-up, saving the profile.
TEST(Headless, ASecondOneEndsUnsavedAndAfterACrashTheNextRaisesItsLimitAndSavesOnAHangUp) {
  test::TemporaryFolder folder;
  const std::vector<std::string> command = {"env", "-C", folder.path().string(), LARKSPAN_PROGRAM,
                                            "--headless"};
  const auto environment = test::ChildProcess::CurrentEnvironment();
  test::ChildProcess first(command, environment);
  // Until it has written its id into the lock file, or has ended.
  const std::string firstPid = std::to_string(first.pid());
  WaitUntil(
      [&] {
        return test::ReadFile(folder.path() / "larkspan.lock").find(firstPid) !=
                   std::string::npos ||
               !first.running();
      },
      5s);

  test::ChildProcess second(command, environment, folder.path() / "second.txt");
  WaitUntil([&] { return !second.running(); }, 5s);
  const int refused = second.stop();
  const std::string output = test::ReadFile(folder.path() / "second.txt");
  EXPECT_NE(output.find(folder.path().string()), std::string::npos) << output;
  EXPECT_NE(output.find(firstPid), std::string::npos) << output;
  EXPECT_TRUE(WIFEXITED(refused) && WEXITSTATUS(refused) == app::kExitAnotherInstance) << output;
  EXPECT_FALSE(fs::exists(folder.path() / schedule::kProfileFileName));

  ::kill(first.pid(), SIGKILL);
  first.wait();
  std::vector<std::string> limited = {"sh", "-c", "ulimit -S -n 64 && exec \"$0\" \"$@\""};
  limited.insert(limited.end(), command.begin(), command.end());
  test::ChildProcess third(limited, environment, folder.path() / "third.txt");
  // The limit is raised after the stop signals are blocked.
  ASSERT_TRUE(WaitUntil([&] { return RaisedItsDescriptorLimit(third.pid()); }, 5s));
  ASSERT_EQ(::kill(third.pid(), SIGHUP), 0);
  ASSERT_TRUE(WaitUntil([&] { return !third.running(); }, 20s));
  EXPECT_EQ(third.wait(), 0) << test::ReadFile(folder.path() / "third.txt");
  EXPECT_TRUE(fs::exists(folder.path() / schedule::kProfileFileName));
}

TEST(Headless, WithoutADisplayTheWindowedFormPointsToIt) {
  test::TemporaryFolder folder;
  const int status =
      test::ChildProcess({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                          "-C", folder.path().string(), LARKSPAN_PROGRAM},
                         test::ChildProcess::CurrentEnvironment(), folder.path() / "output.txt")
          .wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == app::kExitUsage);
  EXPECT_NE(test::ReadFile(folder.path() / "output.txt").find("--headless"), std::string::npos);
}

// An IRC server that takes the connection and never says a word keeps a
// client in its registration reads for many seconds; neither the start-up nor
// the exit waits for that. The exit ends the manual recording before the
// engine goes.
TEST(Headless, TheExitEndsTheManualRecordingAndNeitherItNorTheStartWaitsForASilentIrcServer) {
  test::ScriptedHttpServer server, silent;
  server.setHandler(
      [](const std::string&) { return test::ScriptedReply::Stream(0, UINT64_MAX, 16'000); });
  silent.setHandler([](const std::string&) { return test::ScriptedReply::Stall(); });
  test::TemporaryFolder folder;
  schedule::Profile written;
  written.settings = schedule::DefaultProfileSettings(folder.path());
  platform::CopyToField(written.settings.ircServer, "127.0.0.1");
  written.settings.ircAutoPost = 1;
  ASSERT_TRUE(schedule::SaveProfile(written, folder.path()));

  test::RecordingPrompter prompter;
  const auto began = std::chrono::steady_clock::now();
  auto engine = std::make_unique<app::Engine>(folder.path(), prompter,
                                              irc::IrcConnectionOptions{.port = silent.port()});
  engine->startUp();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 2s) << "the start-up waited for IRC";
  const recording::RecordingJob* job = engine->connect(server.url("/live"), "manual.mp3", false);
  const auto file = folder.path() / "manual.mp3";
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(file) && fs::file_size(file) > 0; }, 20s));
  const auto ending = std::chrono::steady_clock::now();
  EXPECT_TRUE(engine->shutDown());
  EXPECT_EQ(job->status(), "DONE RECORDING");
  engine.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - ending, 3s) << "the exit waited for IRC";
}

}  // namespace
}  // namespace larkspan
