// The sound-file player and the start sound over GStreamer, with real files
// made by ffmpeg and sound that goes nowhere, so that no sound card is needed.

#include "platform/sound_file_player.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <thread>

#include "platform/start_sound.h"
#include "tests/support/media_probe.h"
#include "tests/support/recording_doubles.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::platform {
namespace {

using namespace std::chrono_literals;

class SoundFilePlayerTest : public ::testing::Test {
 protected:
  std::filesystem::path tone(const std::string& name, double seconds, const std::string& codec,
                             const std::string& format) {
    const auto file = folder_.path() / name;
    test::MakeToneFile(file, seconds, codec, format);
    return file;
  }
  std::chrono::milliseconds at() { return player_.position().value_or(-1ms); }

  test::TemporaryFolder folder_;
  SoundFilePlayer player_{{.nullOutput = true}};
};

TEST_F(SoundFilePlayerTest, PlaysEveryKindOfRecording) {
  for (const auto& [name, codec, format] : {std::tuple{"a.mp3", "libmp3lame", "mp3"},
                                            {"a.ogg", "libvorbis", "ogg"},
                                            {"a.flac", "flac", "flac"},
                                            {"a.wav", "pcm_s16le", "wav"},
                                            {"a.aac", "aac", "adts"}}) {
    ASSERT_TRUE(player_.open(tone(name, 1, codec, format))) << name;
    // A raw AAC stream tells its length only once some of it has played.
    player_.play();
    std::this_thread::sleep_for(300ms);
    EXPECT_NEAR(static_cast<double>(player_.duration().value_or(0ms).count()), 1000, 150) << name;
  }
}

TEST_F(SoundFilePlayerTest, ThePositionRunsWhilePlayingHoldsWhilePausedAndFollowsASeek) {
  ASSERT_TRUE(player_.open(tone("show.mp3", 4, "libmp3lame", "mp3")));
  EXPECT_EQ(at(), 0ms);
  player_.play();
  std::this_thread::sleep_for(600ms);
  const auto playing = at();
  EXPECT_GT(playing, 300ms);
  player_.pause();
  std::this_thread::sleep_for(100ms);
  const auto paused = at();
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(at(), paused) << "paused, the position holds";

  player_.seek(3500ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_NEAR(static_cast<double>(at().count()), 3500, 100);
  EXPECT_FALSE(player_.ended());
  player_.play();
  for (int i = 0; i < 100 && !player_.ended(); ++i) std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(player_.ended()) << "the last half second played to its end";
}

TEST_F(SoundFilePlayerTest, WhatDoesNotDecodeDoesNotOpen) {
  std::ofstream random(folder_.path() / "noise.mp3", std::ios::binary);
  std::mt19937 bytes(7);
  for (int i = 0; i < 65536; ++i) random.put(static_cast<char>(bytes()));
  random.close();
  std::ofstream(folder_.path() / "empty.mp3").close();
  for (const char* name : {"missing.mp3", "noise.mp3", "empty.mp3", ""}) {
    EXPECT_FALSE(player_.open(folder_.path() / name)) << name;
    EXPECT_FALSE(player_.isOpen()) << name;
  }
}

TEST(FormatPlayTime, MinutesAndSecondsThenHours) {
  EXPECT_EQ(FormatPlayTime(0ms), "00:00");
  EXPECT_EQ(FormatPlayTime(61'999ms), "01:01");
  EXPECT_EQ(FormatPlayTime(3'599'000ms), "59:59");
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
