#pragma once

#include "platform/tone.h"

namespace larkspan::platform {

// A sine tone through ALSA's default output. Where no sound device or server
// is available the tone is silent; either way the call lasts its duration.
class AlsaTone final : public Tone {
 public:
  void play(int frequencyHz, int durationMs) override;
};

}  // namespace larkspan::platform
