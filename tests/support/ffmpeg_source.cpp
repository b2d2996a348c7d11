#include "tests/support/ffmpeg_source.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace larkspan::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kLiveTimeout = 15s;
constexpr auto kGoneTimeout = 15s;
constexpr auto kStopGrace = 5s;

std::vector<std::string> EncoderArguments(SourceFormat format) {
  switch (format) {
    case SourceFormat::Mp3:
      return {"-c:a", "libmp3lame", "-b:a", "128k", "-content_type", "audio/mpeg", "-f", "mp3"};
    case SourceFormat::OggVorbis:
      // Without the rate limits a sine tone encodes at about 25 kbit/s.
      return {"-c:a", "libvorbis", "-b:a", "128k",          "-minrate",
              "128k", "-maxrate",  "128k", "-content_type", "application/ogg",
              "-f",   "ogg"};
  }
  return {};
}

}  // namespace

FfmpegSource::FfmpegSource(const IcecastServer& server, std::string mount, SourceFormat format,
                           int frequencyHz)
    : server_(server), mount_(std::move(mount)) {
  std::vector<std::string> argv = {
      "ffmpeg",
      "-nostdin",
      "-loglevel",
      "warning",
      "-re",
      "-f",
      "lavfi",
      "-i",
      "sine=frequency=" + std::to_string(frequencyHz) + ":sample_rate=44100"};
  for (auto& a : EncoderArguments(format)) argv.push_back(std::move(a));
  argv.push_back(server_.sourceUrl(mount_));
  process_ = std::make_unique<ChildProcess>(argv, ChildProcess::CurrentEnvironment(),
                                            folder_.path() / "ffmpeg.out");
  if (!server_.waitUntilMountLive(mount_, kLiveTimeout)) {
    const std::string printed = output();
    process_->stop(kStopGrace);
    throw std::runtime_error("ffmpeg did not bring " + mount_ + " on the air:\n" + printed);
  }
}

FfmpegSource::~FfmpegSource() {
  if (process_) process_->stop(kStopGrace);
}

void FfmpegSource::stop() {
  if (!process_) return;
  process_->stop(kStopGrace);
  process_.reset();
  if (!server_.waitUntilMountGone(mount_, kGoneTimeout)) {
    throw std::runtime_error(mount_ + " stayed on the air after its source stopped");
  }
}

std::string FfmpegSource::output() const {
  std::ifstream in(folder_.path() / "ffmpeg.out");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace larkspan::test
