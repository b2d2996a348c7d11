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

// The tone for a file that cannot be played is the recording tests'.
TEST(StartSoundPlayer, PlaysTheFileToItsEndWithoutMakingTheCallerWait) {
  test::TemporaryFolder folder;
  test::MakeToneFile(folder.path() / "start.ogg", 2, "libvorbis", "ogg");
  test::RecordingTone tone;
  StartSoundPlayer sounds(tone, {.nullOutput = true});
  const auto began = std::chrono::steady_clock::now();
  sounds.announce(folder.path() / "start.ogg");
  EXPECT_LT(std::chrono::steady_clock::now() - began, 500ms) << "the caller waited for the sound";
  sounds.waitUntilQuiet();
  EXPECT_GE(std::chrono::steady_clock::now() - began, 1500ms) << "the file played to its end";
}

}  // namespace
}  // namespace larkspan::platform
