// The program without windows, run as a separate process at a chosen local
// time (libfaketime) against a real Icecast: a profile written here records on
// schedule, and SIGTERM ends it with the recording, the log and the saved
// profile on disk. And its engine's exit, in this process.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <thread>

#include "app/engine.h"
#include "app/exit_status.h"
#include "platform/text.h"
#include "schedule/profile.h"
#include "schedule/profile_settings.h"
#include "tests/support/child_process.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/media_probe.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temporary_folder.h"

namespace larkspan {
namespace {

using namespace std::chrono_literals;

constexpr const char* kFakeTimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1";

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

schedule::ScheduleEntry Entry(std::string_view name, std::string_view url, std::uint8_t keep) {
  schedule::ScheduleEntry e;
  platform::CopyToField(e.programName, name);
  platform::CopyToField(e.url, url);
  e.startHour = 21;
  e.startMinute = 0;
  e.endHour = 21;
  e.endMinute = 0;  // the stop comes at the first tick of 21:00
  e.days = 2;       // Mondays
  e.repeating = 1;
  e.keep = keep;
  e.jobSlot = schedule::kJobSlotIdle;
  return e;
}

// Runs build/larkspan --headless in `folder`, its clock starting at `start`.
test::ChildProcess StartHeadless(const std::filesystem::path& folder, const std::string& start) {
  std::vector<std::string> environment = test::ChildProcess::CurrentEnvironment();
  environment.push_back(std::string("LD_PRELOAD=") + kFakeTimeLibrary);
  environment.push_back("FAKETIME=@" + start);
  environment.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1");
  environment.push_back("TZ=UTC");
  // env changes the folder and replaces itself, so the pid is the program's.
  return test::ChildProcess({"env", "-C", folder.string(), LARKSPAN_PROGRAM, "--headless"},
                            environment, folder / "output.txt");
}

TEST(Headless, RecordsTheScheduleAndSavesTheProfileOnSigterm) {
  ASSERT_TRUE(std::filesystem::exists(kFakeTimeLibrary)) << "Debian's faketime is not installed";
  test::IcecastServer icecast;
  test::FfmpegSource source(icecast, "/live.mp3", test::SourceFormat::Mp3);
  test::TemporaryFolder folder;

  schedule::Profile written;
  written.settings = schedule::DefaultProfileSettings(folder.path());
  written.schedule.appendEntry(Entry("Evening", icecast.url("/live.mp3"), 1), {});
  written.schedule.appendEntry(Entry("Passing", icecast.url("/live.mp3"), 1), {});
  ASSERT_TRUE(schedule::SaveProfile(written, folder.path()));

  // Ticks at 20:59:49 (not yet), 20:59:54 (start), 20:59:59, 21:00:04 (stop)
  // and 21:00:09 (close-out).
  test::ChildProcess program = StartHeadless(folder.path(), "2026-12-07 20:59:44");
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (ReadAll(folder.path() / "output.txt").find("DONE RECORDING - Passing") ==
             std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(200ms);
  }
  const int status = program.stop(30s);
  const std::string output = ReadAll(folder.path() / "output.txt");
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 0) << output;
  EXPECT_NE(output.find("RECORDING - Evening"), std::string::npos) << output;
  EXPECT_NE(output.find("DONE RECORDING - Evening"), std::string::npos) << output;

  const auto recorded = folder.path() / "Evening" / "Evening December 7.mp3";
  ASSERT_TRUE(std::filesystem::exists(recorded)) << output;
  const test::MediaInfo info = test::ProbeMedia(recorded);
  EXPECT_EQ(info.formatName, "mp3");
  // From the start tick to the stop tick: ten seconds of the live stream.
  EXPECT_GT(info.durationSeconds, 7.0);
  EXPECT_LT(info.durationSeconds, 14.0);

  const std::string log = ReadAll(folder.path() / "log.txt");
  EXPECT_NE(log.find("Connected to " + icecast.url("/live.mp3") + " at 20:59 on 12-7-2026\n"),
            std::string::npos)
      << log;

  schedule::Profile saved;
  ASSERT_TRUE(schedule::LoadProfile(saved, folder.path()));
  ASSERT_EQ(saved.schedule.count(), 2u);
  EXPECT_EQ(platform::FieldText(saved.schedule.entry(0).programName), "Evening");
  EXPECT_EQ(saved.schedule.entry(0).days, 2) << "a repeating entry keeps its day";
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "Passing" / "Passing December 7.mp3"));
}

// A profile that exists but cannot be read (run as nobody, the file is root's
// and private; as another user, private is enough) is named on standard error,
// left as it was at the exit, and the exit status says nothing was saved.
TEST(Headless, AnUnreadableProfileIsNeverSavedOver) {
  test::TemporaryFolder folder;
  std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
  const auto profile = folder.path() / "brambly.prf";
  std::ofstream(profile) << "a profile of another run";
  std::filesystem::permissions(profile, std::filesystem::perms::none);
  std::vector<std::string> command = {"env", "-C", folder.path().string(), LARKSPAN_PROGRAM,
                                      "--headless"};
  if (::geteuid() == 0) {
    command.insert(command.begin(),
                   {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  }
  test::ChildProcess program(command, test::ChildProcess::CurrentEnvironment(),
                             folder.path() / "output.txt");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (ReadAll(folder.path() / "output.txt").find("Permission denied") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
  }
  const int status = program.stop(30s);
  const std::string output = ReadAll(folder.path() / "output.txt");
  EXPECT_NE(output.find("Cannot read the profile " + profile.string() + ": Permission denied"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find(profile.string() + " was not saved"), std::string::npos) << output;
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(profile), "a profile of another run");
}

// Each of two programs on one folder would save the profile at its exit: the
// second says which process holds the folder and ends at once, saving
// nothing. The lock goes with its holder, even one that crashed.
TEST(Headless, ASecondOneOnTheSameFolderEndsWithoutSavingTheProfile) {
  test::TemporaryFolder folder;
  const std::vector<std::string> command = {"env", "-C", folder.path().string(), LARKSPAN_PROGRAM,
                                            "--headless"};
  const auto environment = test::ChildProcess::CurrentEnvironment();
  const auto waitFor = [](auto done) {
    for (const auto end = std::chrono::steady_clock::now() + 5s;
         !done() && std::chrono::steady_clock::now() < end;)
      std::this_thread::sleep_for(20ms);
  };
  // Until `program` has written its id into the lock file, or has ended.
  const auto holds = [&](test::ChildProcess& program) {
    return ReadAll(folder.path() / "larkspan.lock").find(std::to_string(program.pid())) !=
               std::string::npos ||
           !program.running();
  };
  test::ChildProcess first(command, environment);
  waitFor([&] { return holds(first); });

  test::ChildProcess second(command, environment, folder.path() / "second.txt");
  waitFor([&] { return !second.running(); });
  const int refused = second.stop();
  const std::string output = ReadAll(folder.path() / "second.txt");
  EXPECT_NE(output.find(folder.path().string()), std::string::npos) << output;
  EXPECT_NE(output.find(std::to_string(first.pid())), std::string::npos) << output;
  ASSERT_TRUE(WIFEXITED(refused)) << output;
  EXPECT_EQ(WEXITSTATUS(refused), app::kExitAnotherInstance) << output;
  EXPECT_FALSE(std::filesystem::exists(folder.path() / schedule::kProfileFileName));

  ::kill(first.pid(), SIGKILL);
  first.wait();
  test::ChildProcess third(command, environment);
  waitFor([&] { return holds(third); });
  EXPECT_EQ(third.stop(), 0) << "after a crash the folder is free again";
  EXPECT_TRUE(std::filesystem::exists(folder.path() / schedule::kProfileFileName));
}

// The soft and hard "Max open files" of the program; none while the process
// is not the program yet (sh and env replace themselves by it).
std::optional<std::pair<std::string, std::string>> ProgramDescriptorLimits(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code error;
  if (std::filesystem::read_symlink(proc + "/exe", error) !=
      std::filesystem::canonical(LARKSPAN_PROGRAM)) {
    return std::nullopt;
  }
  std::istringstream limits(ReadAll(proc + "/limits"));
  for (std::string line; std::getline(limits, line);) {
    if (line.rfind("Max open files", 0) != 0) continue;
    std::istringstream values(line.substr(14));
    std::string soft, hard;
    values >> soft >> hard;
    return std::pair{soft, hard};
  }
  return std::nullopt;
}

TEST(Headless, RaisesItsDescriptorLimitAndEndsOnAHangUpSavingTheProfile) {
  test::TemporaryFolder folder;
  // Started as a desktop starts it, with a soft limit far below the hard one.
  test::ChildProcess program({"sh", "-c", "ulimit -S -n 64 && exec env -C \"$1\" \"$0\" --headless",
                              LARKSPAN_PROGRAM, folder.path().string()},
                             test::ChildProcess::CurrentEnvironment(),
                             folder.path() / "output.txt");
  // The limit is raised after the stop signals are blocked.
  auto limits = ProgramDescriptorLimits(program.pid());
  for (const auto deadline = std::chrono::steady_clock::now() + 5s;
       (!limits || limits->first != limits->second) && std::chrono::steady_clock::now() < deadline;
       limits = ProgramDescriptorLimits(program.pid())) {
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(limits);
  ASSERT_EQ(limits->first, limits->second);

  ASSERT_EQ(::kill(program.pid(), SIGHUP), 0);
  for (const auto deadline = std::chrono::steady_clock::now() + 20s;
       program.running() && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_FALSE(program.running());
  const int status = program.wait();
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadAll(folder.path() / "output.txt");
  EXPECT_TRUE(std::filesystem::exists(folder.path() / schedule::kProfileFileName));
}

TEST(Headless, TheExitEndsTheManualRecordingBeforeTheEngineGoes) {
  test::ScriptedHttpServer server;
  server.setHandler([](const std::string&) {
    return test::ScriptedReply::Stream(0, std::numeric_limits<std::uint64_t>::max(), 16'000);
  });
  test::TemporaryFolder folder;
  test::RecordingPrompter prompter;
  app::Engine engine(folder.path(), prompter);
  const recording::RecordingJob* job = engine.connect(server.url("/live"), "manual.mp3", false);
  const auto midStream = [&] {
    std::error_code error;
    return std::filesystem::file_size(folder.path() / "manual.mp3", error) > 0 && !error;
  };
  for (const auto end = std::chrono::steady_clock::now() + 20s;
       !midStream() && std::chrono::steady_clock::now() < end;)
    std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(midStream());
  EXPECT_TRUE(engine.shutDown());
  EXPECT_TRUE(job->isFinished()) << job->status();
  EXPECT_EQ(job->status(), "DONE RECORDING");
}

// An IRC server that takes the connection and never says a word keeps a
// client in its registration reads for many seconds; neither the start-up
// nor the end of the program waits for that.
TEST(Headless, StartUpAndExitNeverWaitForASilentIrcServer) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(6667);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(listener);
    GTEST_SKIP() << "port 6667 is taken";
  }
  ::listen(listener, 4);  // connects complete in the backlog; nothing answers

  test::TemporaryFolder folder;
  schedule::Profile written;
  written.settings = schedule::DefaultProfileSettings(folder.path());
  platform::CopyToField(written.settings.ircServer, "127.0.0.1");
  written.settings.ircAutoPost = 1;
  ASSERT_TRUE(schedule::SaveProfile(written, folder.path()));

  const auto began = std::chrono::steady_clock::now();
  {
    test::RecordingPrompter prompter;
    app::Engine engine(folder.path(), prompter);
    engine.startUp();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 2s) << "the start-up waited for IRC";
    std::this_thread::sleep_for(200ms);  // the connect is under way
  }
  EXPECT_LT(std::chrono::steady_clock::now() - began, 4s) << "the end waited for IRC";
  ::close(listener);
}

}  // namespace
}  // namespace larkspan
