#pragma once

#include <sstream>

#include "tests/support/child_process.h"

namespace larkspan::test {

// What ffprobe reads in an audio file.
struct MediaInfo {
  std::string formatName;  // "mp3", "ogg", ...; empty when ffprobe cannot read the file
  double durationSeconds = 0;
  long bitRate = 0;  // of the first audio stream, bits per second
};

inline MediaInfo ProbeMedia(const std::filesystem::path& file) {
  std::string printed;
  MediaInfo info;
  if (!RunToEnd({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                 "format=format_name,duration:stream=bit_rate", "-of", "default=noprint_wrappers=1",
                 file.string()},
                printed))
    return info;
  std::istringstream lines(printed);
  for (std::string key, value; std::getline(lines, key, '=') && std::getline(lines, value);) {
    if (key == "format_name") info.formatName = value;
    if (value == "N/A") continue;
    if (key == "duration") info.durationSeconds = std::stod(value);
    if (key == "bit_rate") info.bitRate = std::stol(value);
  }
  return info;
}

// Makes an audio file of a sine tone with ffmpeg ("-f adts" for AAC, "-f mp3"
// for MP3, at 128 kbit/s). Throws std::runtime_error when ffmpeg fails.
inline void MakeToneFile(const std::filesystem::path& file, double seconds,
                         const std::string& codec, const std::string& format) {
  std::string printed;
  if (!RunToEnd({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                 "sine=frequency=440:sample_rate=44100", "-t", std::to_string(seconds), "-c:a",
                 codec, "-b:a", "128k", "-f", format, file.string()},
                printed))
    throw std::runtime_error("ffmpeg could not make " + file.string() + ":\n" + printed);
}

}  // namespace larkspan::test
