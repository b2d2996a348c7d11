#pragma once

#include <cstdint>
#include <filesystem>

namespace larkspan::schedule {

// Every setting of the program, kept as the head of the profile. The schedule's
// entry count is not held here: the table owns it and the profile writer stores
// it in the head.
//
// A default-constructed record holds the defaults of a first start except the
// recording path, which depends on the user; DefaultProfileSettings fills it.
struct ProfileSettings {
  char streamUrl[256] = "sample";       // manual recording
  char outputFile[256] = "output.mp3";  // manual recording
  char recordingPath[1024] = {};
  std::int32_t shoutcast = 0;  // manual recording
  char soundFile[256] = "test.mp3";
  // Read by nothing, but part of the head: kept so that a save writes back what
  // a load found.
  std::uint16_t legacyWord = 32;
  std::uint8_t legacyByte = 0;
  std::uint8_t startSound = 0;
  char startSoundFile[256] = "sound.mp3";
  std::uint8_t noSubdirectories = 0;
  std::uint8_t disableSounds = 1;
  char ircServer[32] = "null";
  char ircNickname[16] = "test";
  char ircChannel[24] = "#sample";
  char ircUserId[16] = "blank";
  std::uint8_t ircAutoPost = 0;
  std::uint8_t chatterMode = 0;
  std::uint8_t ircTextColour = 3;
  std::uint8_t ircBackgroundColour = 0;
  std::uint8_t ircUpdateTopic = 0;
};

// The settings of a first start: the recording path is `homeFolder` with one
// "/" after it.
ProfileSettings DefaultProfileSettings(const std::filesystem::path& homeFolder);

// The user's home folder: $HOME when set, else the password database's entry,
// else "/".
std::filesystem::path UserHomeFolder();

}  // namespace larkspan::schedule
