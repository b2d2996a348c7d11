#include "tests/support/ffmpeg_source.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace larkspan::test {

using namespace std::chrono_literals;

FfmpegSource::FfmpegSource(const IcecastServer& server, std::string mount, SourceFormat format,
                           int frequencyHz)
    : server_(server), mount_(std::move(mount)) {
  std::vector<std::string> argv = {
      "ffmpeg",  "-nostdin", "-loglevel",
      "warning", "-re",      "-f",
      "lavfi",   "-i",       "sine=frequency=" + std::to_string(frequencyHz) + ":sample_rate=44100",
      "-b:a",    "128k"};
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
  if (!server_.waitForStatus(mount_, 200, 15s)) {
    process_->stop();
    std::ifstream in(output);
    throw std::runtime_error("ffmpeg did not bring " + mount_ + " on the air:\n" +
                             std::string(std::istreambuf_iterator<char>(in), {}));
  }
}

FfmpegSource::~FfmpegSource() {
  if (process_) process_->stop();
}

void FfmpegSource::stop() {
  if (!process_) return;
  process_->stop();
  process_.reset();
  if (!server_.waitForStatus(mount_, 404, 15s))
    throw std::runtime_error(mount_ + " stayed on the air after its source stopped");
}

}  // namespace larkspan::test
