#pragma once

#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/icecast_server.h"
#include "tests/support/temporary_folder.h"

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
               int frequencyHz = 440);
  // Stops ffmpeg (SIGTERM, then SIGKILL after a grace period).
  ~FfmpegSource();
  FfmpegSource(const FfmpegSource&) = delete;
  FfmpegSource& operator=(const FfmpegSource&) = delete;

  // Stops ffmpeg and waits until the mount answers 404, so that every
  // listener has seen its stream end.
  void stop();

 private:
  const IcecastServer& server_;
  std::string mount_;
  TemporaryFolder folder_;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace larkspan::test
