// The program itself, as a user runs it, with its windows (offscreen here) and
// without (--headless), at a chosen local time (libfaketime), against a real
// Icecast fed by ffmpeg and a real ngIRCd, with ffmpeg as its encoder: one run
// from the profile on disk to the profile saved at SIGTERM, checked by what it
// leaves behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/text.h"
#include "schedule/name_key.h"
#include "schedule/profile.h"
#include "tests/support/child_process.h"
#include "tests/support/ffmpeg_source.h"
#include "tests/support/icecast_server.h"
#include "tests/support/irc_test_reader.h"
#include "tests/support/loopback_port.h"
#include "tests/support/media_probe.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_certificates.h"

namespace larkspan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kFakeTimeLibrary = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1";
// The program's IRC client always dials this port.
constexpr std::uint16_t kIrcPort = 6667;

// An entry to store: what is only for a run is set as the profile is read.
schedule::ScheduleEntry Entry(std::string_view name, std::string_view url) {
  schedule::ScheduleEntry e;
  platform::CopyToField(e.programName, name);
  platform::CopyToField(e.url, url);
  e.nameKey = schedule::nameKey(name);
  return e;
}

// Whether the program runs without windows.
class EndToEnd : public testing::TestWithParam<bool> {};

TEST_P(EndToEnd, TheProgramRecordsAnnouncesConvertsAndSavesItsProfileOnSigterm) {
  const bool headless = GetParam();
  ASSERT_TRUE(fs::exists(kFakeTimeLibrary)) << "Debian's faketime is not installed";
  if (const int taken = test::ConnectToLoopback(kIrcPort); taken >= 0) {
    ::close(taken);
    GTEST_SKIP() << "127.0.0.1:6667 is taken by another program";
  }
  test::TemporaryFolder folder;
  const fs::path& dir = folder.path();
  const test::NgircdServer ngircd({.port = kIrcPort, .greetsFirst = true});
  test::IrcTestReader channel(kIrcPort, "#larkspan", test::NgircdServer::kOperatorName,
                              test::NgircdServer::kOperatorPassword);
  test::IcecastServer icecast(
      {.webRootFiles = {test::WebRootFile::FromFile(LARKSPAN_STATUS_PAGE)},
       .tlsCertificate = test::TrustedTestAuthority().issue("DNS:localhost")});
  test::FfmpegSource source(icecast, "/live.mp3", test::SourceFormat::Mp3);
  const std::string live = icecast.url("/live.mp3");
  // The program without windows watches the server over TLS.
  const std::string server = headless ? icecast.tlsUrl("") : icecast.url("");
  const std::string found = headless ? icecast.tlsUrl("/live.mp3") : live;

  // Mondays 21:00 to the first tick of 21:00, converted to 64 kbit/s in place;
  // the whole server watched at level 5; IRC announcements on.
  schedule::Profile written;
  written.settings = schedule::DefaultProfileSettings(dir);
  platform::CopyToField(written.settings.ircServer, "127.0.0.1");
  platform::CopyToField(written.settings.ircChannel, "#larkspan");
  written.settings.ircAutoPost = 1;
  schedule::ScheduleEntry evening = Entry("Evening", live), watched = Entry("Icecast", server);
  evening.startHour = evening.endHour = 21;
  evening.days = 2;
  evening.repeating = evening.convert = evening.deleteOriginal = 1;
  evening.bitrate = 64;
  watched.monitorServer = 1;
  watched.monitorLevel = watched.timeout = 5;
  for (const auto& entry : {evening, watched}) written.schedule.appendEntry(entry, {});
  ASSERT_TRUE(schedule::SaveProfile(written, dir));

  // Ticks at about 20:59:45 (the monitor's poll finds /live.mp3), 20:59:50
  // (both recordings start), 20:59:55, 21:00:00 (Evening stops, converts).
  std::vector<std::string> environment = test::ChildProcess::CurrentEnvironment();
  environment.insert(environment.end(),
                     {std::string("LD_PRELOAD=") + kFakeTimeLibrary,
                      "FAKETIME=@2026-12-07 20:59:40",  // a Monday
                      "FAKETIME_DONT_FAKE_MONOTONIC=1", "TZ=UTC", "QT_QPA_PLATFORM=offscreen"});
  const fs::path output = dir / "output.txt";
  // env changes the folder and replaces itself, so the pid is the program's.
  std::vector<std::string> command = {"env", "-C", dir.string(), LARKSPAN_PROGRAM};
  if (headless) command.push_back("--headless");
  test::ChildProcess program(command, environment, output);

  std::string said;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  const auto hear = [&](std::string_view last) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const auto heard = [&](std::string_view line) {
      said.append(line).append("\n");
      return line.ends_with(last);
    };
    EXPECT_TRUE(channel.waitForLine(heard, left)) << last << " not heard in:\n" << said;
  };
  hear("RECORDING - Evening ( " + live + " )");
  // Read at the start; what is on disk at the end is the exit's.
  fs::remove(dir / schedule::kProfileFileName);
  hear("DONE ENCODING - Evening");
  const int status = program.stop(30s);
  const std::string log = test::ReadFile(dir / "log.txt");
  EXPECT_EQ(status, 0) << test::ReadFile(output);
  // Without windows the scheduler's state goes to standard output.
  EXPECT_TRUE(!headless ||
              test::ReadFile(output).find("RECORDING - Evening\n") != std::string::npos)
      << test::ReadFile(output);

  const fs::path converted = dir / "Evening" / "Evening December 7.mp3";
  const test::MediaInfo eveningAudio = test::ProbeMedia(converted);
  EXPECT_EQ(eveningAudio.formatName, "mp3");
  EXPECT_EQ(eveningAudio.bitRate, 64'000) << "the source sends 128 kbit/s";
  EXPECT_NEAR(eveningAudio.durationSeconds, 10.5, 3.5);
  EXPECT_FALSE(fs::exists(converted.string() + ".mp3"));
  EXPECT_GT(test::ProbeMedia(dir / "live mp3 mountpoint" / "live mp3 mountpoint December 7.mp3")
                .durationSeconds,
            5.0);

  // On the channel, text colour 3 before each message (the first and last
  // were heard above).
  const std::string posted = std::string(" PRIVMSG #larkspan :") + '\x03' + "03";
  const std::pair<const std::string&, std::string> expected[] = {
      {said, posted + "RECORDING - live mp3 mountpoint ( " + found + " )\n"},
      {said, posted + "ENCODING - Evening\n"},
      {log, "1 new mountpoint[s] found at 20:59 on 12-7-2026\n"},
      {log, "Found at " + found + "\n"},
      {log, "Connected to " + live + " at 20:59 on 12-7-2026\n"},
      {log, "Encoding file\nDeleting original file\nRenaming encoded file\n"}};
  for (const auto& [in, text] : expected)
    EXPECT_NE(in.find(text), std::string::npos) << text << " not in:\n" << in;

  // Written by the exit: the monitor's entry was temporary.
  schedule::Profile saved;
  ASSERT_TRUE(schedule::LoadProfile(saved, dir));
  ASSERT_EQ(saved.schedule.count(), 2u);
  EXPECT_EQ(platform::FieldText(saved.schedule.entry(0).programName), "Evening");
  EXPECT_EQ(platform::FieldText(saved.schedule.entry(1).url), server);
}

INSTANTIATE_TEST_SUITE_P(BothForms, EndToEnd, testing::Bool(),
                         [](const auto& form) { return form.param ? "Headless" : "Windowed"; });

}  // namespace
}  // namespace larkspan
