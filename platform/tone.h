#pragma once

namespace larkspan::platform {

// A tone of a given frequency and duration. The call lasts the tone's duration
// whether or not a sound device exists, as a beep does.
class Tone {
 public:
  virtual ~Tone() = default;
  virtual void play(int frequencyHz, int durationMs) = 0;
};

// Plays nothing, but takes the tone's time.
class SilentTone final : public Tone {
 public:
  void play(int frequencyHz, int durationMs) override;
};

}  // namespace larkspan::platform
