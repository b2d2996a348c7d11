#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

// GStreamer's types, kept out of the callers' way.
struct _GstElement;

namespace larkspan::platform {

struct SoundOutputOptions {
  // Decode in real time but send the sound nowhere: for tests, and for
  // machines where the caller knows there is no sound device. Otherwise the
  // desktop's sound system is used, and where there is none GStreamer's
  // automatic sink plays into nothing at the same pace.
  bool nullOutput = false;
};

// Plays one sound file (whatever GStreamer can decode: MP3, Ogg Vorbis,
// FLAC, WAV, AAC...) through the desktop's sound system. Not thread-safe:
// one owner thread calls everything.
class SoundFilePlayer {
 public:
  explicit SoundFilePlayer(SoundOutputOptions options = {});
  ~SoundFilePlayer();
  SoundFilePlayer(const SoundFilePlayer&) = delete;
  SoundFilePlayer& operator=(const SoundFilePlayer&) = delete;

  // Opens `file` and decodes its start, paused at 0. False, with nothing
  // open, when it cannot be opened or holds nothing that decodes as sound.
  bool open(const std::filesystem::path& file,
            std::chrono::milliseconds timeout = std::chrono::seconds(5));
  bool isOpen() const { return pipeline_ != nullptr; }
  void close();

  void play();
  void pause();
  // Moves to `position` from the start (clamped to the length).
  void seek(std::chrono::milliseconds position);

  // Where the sound is and how long it is; nothing while unknown.
  std::optional<std::chrono::milliseconds> position() const;
  std::optional<std::chrono::milliseconds> duration() const;

  // True once the sound has played to its end, or failed on the way; reads
  // what the pipeline has reported since the last call.
  bool ended();

 private:
  SoundOutputOptions options_;
  _GstElement* pipeline_ = nullptr;
  bool ended_ = false;
};

// "mm:ss", or "h:mm:ss" from an hour on.
std::string FormatPlayTime(std::chrono::milliseconds position);

}  // namespace larkspan::platform
