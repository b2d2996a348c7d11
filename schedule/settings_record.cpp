#include <algorithm>

#include "schedule/profile_records.h"
#include "schedule/record_fields.h"

namespace larkspan::schedule::records {

using namespace detail;

namespace {
// Where each setting lies in the head record.
enum SettingsOffset : std::size_t {
  kStreamUrl = 0,
  kOutputFile = 256,
  kRecordingPath = 512,
  kEntryCount = 1536,
  kShoutcast = 1540,
  kSoundFile = 1544,
  kLegacyWord = 1800,
  kLegacyByte = 1817,
  kStartSound = 1818,
  kStartSoundFile = 1819,
  kNoSubdirectories = 2075,
  kDisableSounds = 2076,
  kIrcServer = 2077,
  kIrcNickname = 2109,
  kIrcChannel = 2125,
  kIrcUserId = 2149,
  kIrcAutoPost = 2165,
  kChatterMode = 2166,
  kIrcTextColour = 2167,
  kIrcBackgroundColour = 2168,
  kIrcUpdateTopic = 2169,
};
}  // namespace

void EncodeSettings(const ProfileSettings& s, std::int32_t entryCount, SettingsBytes out) {
  std::byte* r = out.data();
  std::fill(out.begin(), out.end(), std::byte{0});
  PutText(r, kStreamUrl, s.streamUrl);
  PutText(r, kOutputFile, s.outputFile);
  PutText(r, kRecordingPath, s.recordingPath);
  le::Put32(r + kEntryCount, static_cast<std::uint32_t>(entryCount));
  le::Put32(r + kShoutcast, static_cast<std::uint32_t>(s.shoutcast));
  PutText(r, kSoundFile, s.soundFile);
  le::Put16(r + kLegacyWord, s.legacyWord);
  le::Put8(r + kLegacyByte, s.legacyByte);
  le::Put8(r + kStartSound, s.startSound);
  PutText(r, kStartSoundFile, s.startSoundFile);
  le::Put8(r + kNoSubdirectories, s.noSubdirectories);
  le::Put8(r + kDisableSounds, s.disableSounds);
  PutText(r, kIrcServer, s.ircServer);
  PutText(r, kIrcNickname, s.ircNickname);
  PutText(r, kIrcChannel, s.ircChannel);
  PutText(r, kIrcUserId, s.ircUserId);
  le::Put8(r + kIrcAutoPost, s.ircAutoPost);
  le::Put8(r + kChatterMode, s.chatterMode);
  le::Put8(r + kIrcTextColour, s.ircTextColour);
  le::Put8(r + kIrcBackgroundColour, s.ircBackgroundColour);
  le::Put8(r + kIrcUpdateTopic, s.ircUpdateTopic);
}

void DecodeSettings(std::span<const std::byte, kSettingsSize> in, ProfileSettings& s) {
  const std::byte* r = in.data();
  GetText(r, kStreamUrl, s.streamUrl);
  GetText(r, kOutputFile, s.outputFile);
  GetText(r, kRecordingPath, s.recordingPath);
  s.shoutcast = static_cast<std::int32_t>(le::Get32(r + kShoutcast));
  GetText(r, kSoundFile, s.soundFile);
  s.legacyWord = le::Get16(r + kLegacyWord);
  s.legacyByte = le::Get8(r + kLegacyByte);
  s.startSound = le::Get8(r + kStartSound);
  GetText(r, kStartSoundFile, s.startSoundFile);
  s.noSubdirectories = le::Get8(r + kNoSubdirectories);
  s.disableSounds = le::Get8(r + kDisableSounds);
  GetText(r, kIrcServer, s.ircServer);
  GetText(r, kIrcNickname, s.ircNickname);
  GetText(r, kIrcChannel, s.ircChannel);
  GetText(r, kIrcUserId, s.ircUserId);
  s.ircAutoPost = le::Get8(r + kIrcAutoPost);
  s.chatterMode = le::Get8(r + kChatterMode);
  s.ircTextColour = le::Get8(r + kIrcTextColour);
  s.ircBackgroundColour = le::Get8(r + kIrcBackgroundColour);
  s.ircUpdateTopic = le::Get8(r + kIrcUpdateTopic);
}

std::int32_t DecodeEntryCount(std::span<const std::byte, kSettingsSize> in) {
  return static_cast<std::int32_t>(le::Get32(in.data() + kEntryCount));
}

}  // namespace larkspan::schedule::records
