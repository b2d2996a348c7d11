#pragma once

#include <atomic>
#include <filesystem>

#include "platform/background_worker.h"
#include "platform/sound_file_player.h"
#include "platform/tone.h"

namespace larkspan::platform {

// The sound a recording makes as it starts when the user chose a file for
// it. Recording threads call it and never wait for the sound.
class StartSound {
 public:
  virtual ~StartSound() = default;
  // Plays `file`, or the start tone when it cannot be played. Returns at once.
  virtual void announce(const std::filesystem::path& file) = 0;
};

// Plays start sounds one after another on a thread of its own; a sound
// longer than kLongest is cut there, so that a song chosen by mistake does
// not hold up the starts after it.
class StartSoundPlayer final : public StartSound {
 public:
  static constexpr std::chrono::seconds kLongest{30};

  explicit StartSoundPlayer(Tone& tone, SoundOutputOptions output = {});
  // Cuts the sound that plays short; drops the ones not begun.
  ~StartSoundPlayer() override;

  void announce(const std::filesystem::path& file) override;

  // For tests: waits until every announced sound has ended, and how many
  // files have played (the tone not counted).
  void waitUntilQuiet() const { worker_.waitUntilIdle(); }
  int filesPlayed() const { return filesPlayed_.load(); }

 private:
  void playOne(const std::filesystem::path& file);

  Tone& tone_;
  SoundOutputOptions output_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> filesPlayed_{0};
  // Last: it goes first, while what its tasks use is still there.
  BackgroundWorker worker_;
};

}  // namespace larkspan::platform
