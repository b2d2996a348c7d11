#pragma once

#include <filesystem>
#include <string>

namespace larkspan::test {

// What ffprobe reads in an audio file.
struct MediaInfo {
  std::string formatName;  // "mp3", "ogg", ...; empty when ffprobe cannot read the file
  std::string codecName;   // of the first audio stream
  double durationSeconds = 0;
  long bitRate = 0;  // of the first audio stream, bits per second
};

MediaInfo ProbeMedia(const std::filesystem::path& file);

// Seconds of sound in `file`, found by decoding all of it with ffmpeg
// (ffprobe's duration of a stream capture may count bytes it never plays).
// Negative when ffmpeg cannot decode it.
double DecodedSeconds(const std::filesystem::path& file);

// Makes an audio file of a sine tone with ffmpeg ("-f adts" for AAC, "-f mp3"
// for MP3, at 128 kbit/s). Throws std::runtime_error when ffmpeg fails.
void MakeToneFile(const std::filesystem::path& file, double seconds, const std::string& codec,
                  const std::string& format);

}  // namespace larkspan::test
