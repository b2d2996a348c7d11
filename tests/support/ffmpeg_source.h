#pragma once

#include "tests/support/icecast_server.h"

namespace larkspan::test {

enum class SourceFormat {
  Mp3,        // MP3 at 128 kbit/s, audio/mpeg
  OggVorbis,  // Ogg Vorbis held at 128 kbit/s, application/ogg
};

// ffmpeg as an Icecast source client: a generated sine tone, encoded in real
// time (-re), sent to one mountpoint. Stopped by its process id. The server
// must outlive the source.
class FfmpegSource {
 public:
  // Starts ffmpeg and waits until the mountpoint is live. Throws
  // std::runtime_error, with ffmpeg's output, when it does not come live.
  FfmpegSource(const IcecastServer& server, std::string mount, SourceFormat format,
               int frequencyHz = 440)
      : server_(server), mount_(std::move(mount)) {
    const std::string tone = "sine=frequency=" + std::to_string(frequencyHz) + ":sample_rate=44100";
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-loglevel", "warning", "-re", "-f",
                                     "lavfi",  "-i",       tone,        "-b:a",    "128k"};
    if (format == SourceFormat::Mp3) {
      argv.insert(argv.end(), {"-c:a", "libmp3lame", "-content_type", "audio/mpeg", "-f", "mp3"});
    } else {
      // Without the rate limits a sine tone encodes at about 25 kbit/s.
      argv.insert(argv.end(), {"-c:a", "libvorbis", "-minrate", "128k", "-maxrate", "128k",
                               "-content_type", "application/ogg", "-f", "ogg"});
    }
    argv.push_back(server_.sourceUrl(mount_));
    const auto output = folder_.path() / "ffmpeg.out";
    process_ = std::make_unique<ChildProcess>(argv, ChildProcess::CurrentEnvironment(), output);
    if (!server_.waitForStatus(mount_, 200, std::chrono::seconds(15))) {
      process_->stop();
      throw std::runtime_error("ffmpeg did not bring " + mount_ + " on the air:\n" +
                               ReadFile(output));
    }
  }
  FfmpegSource(const FfmpegSource&) = delete;
  FfmpegSource& operator=(const FfmpegSource&) = delete;

 private:
  const IcecastServer& server_;
  std::string mount_;
  TemporaryFolder folder_;
  // Stopped (SIGTERM, then SIGKILL after a grace period) when it goes.
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace larkspan::test
