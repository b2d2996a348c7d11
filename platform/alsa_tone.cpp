#include "platform/alsa_tone.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

namespace larkspan::platform {
namespace {

constexpr unsigned kSampleRate = 44'100;

// Without a handler ALSA prints several lines to standard error whenever no
// device can be opened, which is the usual case on a server.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

void SilentFor(int durationMs) {
  if (durationMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
}

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

}  // namespace

void AlsaTone::play(int frequencyHz, int durationMs) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(QuietAlsaErrors); });
  if (durationMs <= 0) return;

  const auto start = std::chrono::steady_clock::now();
  snd_pcm_t* raw = nullptr;
  if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
    SilentFor(durationMs);
    return;
  }
  const std::unique_ptr<snd_pcm_t, PcmCloser> pcm(raw);
  if (snd_pcm_nonblock(pcm.get(), 0) < 0 ||
      snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                         kSampleRate, 1, 100'000) < 0) {
    SilentFor(durationMs);
    return;
  }
  const auto frames =
      static_cast<std::size_t>(kSampleRate) * static_cast<std::size_t>(durationMs) / 1000;
  std::vector<std::int16_t> samples(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    samples[i] =
        static_cast<std::int16_t>(12'000 * std::sin(2 * std::numbers::pi * frequencyHz * t));
  }
  std::size_t written = 0;
  while (written < frames) {
    snd_pcm_sframes_t n = snd_pcm_writei(pcm.get(), samples.data() + written, frames - written);
    if (n < 0) n = snd_pcm_recover(pcm.get(), static_cast<int>(n), 1);
    if (n < 0) break;
    written += static_cast<std::size_t>(n);
  }
  snd_pcm_drain(pcm.get());
  // A device that failed part-way still takes the tone's time.
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const auto wanted = std::chrono::milliseconds(durationMs);
  if (elapsed < wanted) std::this_thread::sleep_for(wanted - elapsed);
}

}  // namespace larkspan::platform
