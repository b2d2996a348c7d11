#include "platform/start_sound.h"

#include <thread>

namespace larkspan::platform {

StartSoundPlayer::StartSoundPlayer(Tone& tone, SoundOutputOptions output)
    : tone_(tone), output_(output) {}

StartSoundPlayer::~StartSoundPlayer() {
  stopping_.store(true);
}

void StartSoundPlayer::announce(const std::filesystem::path& file) {
  worker_.post([this, file] { playOne(file); });
}

void StartSoundPlayer::playOne(const std::filesystem::path& file) {
  SoundFilePlayer player(output_);
  if (!player.open(file)) {
    tone_.play(523, 250);
    return;
  }
  ++filesPlayed_;
  player.play();
  const auto end = std::chrono::steady_clock::now() + kLongest;
  while (!player.ended() && !stopping_.load() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace larkspan::platform
