// The sound-file player and the start sound over GStreamer, with real files
// made by ffmpeg and sound that goes nowhere, so that no sound card is needed.

#include "platform/sound_file_player.h"

#include <gtest/gtest.h>

#include "platform/start_sound.h"
#include "tests/support/media_probe.h"
#include "tests/support/recording_doubles.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::platform {
namespace {

using namespace std::chrono_literals;

// Opening, playing, pausing and seeking recordings are the main window's tests.
TEST(FormatPlayTime, MinutesAndSecondsThenHours) {
  EXPECT_EQ(FormatPlayTime(3'599'999ms), "59:59");
  EXPECT_EQ(FormatPlayTime(3'661'000ms), "1:01:01");
}

TEST(StartSoundPlayer, PlaysTheFileOrElseTheToneWithoutMakingTheCallerWait) {
  test::TemporaryFolder folder;
  const auto file = folder.path() / "start.ogg";
  test::MakeToneFile(file, 2, "libvorbis", "ogg");
  test::RecordingTone tone;
  StartSoundPlayer sounds(tone, {.nullOutput = true});

  const auto began = std::chrono::steady_clock::now();
  sounds.announce(file);
  sounds.announce(folder.path() / "missing.mp3");
  EXPECT_LT(std::chrono::steady_clock::now() - began, 500ms) << "the caller waited for the sound";
  sounds.waitUntilQuiet();
  EXPECT_GE(std::chrono::steady_clock::now() - began, 1500ms) << "the file played to its end";
  EXPECT_EQ(sounds.filesPlayed(), 1);
  EXPECT_EQ(tone.played(), (std::vector<std::pair<int, int>>{{523, 250}}));
}

}  // namespace
}  // namespace larkspan::platform
