#include "platform/tone.h"

#include <chrono>
#include <thread>

namespace larkspan::platform {

void SilentTone::play(int /*frequencyHz*/, int durationMs) {
  if (durationMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
}

}  // namespace larkspan::platform
