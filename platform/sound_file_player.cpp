#include "platform/sound_file_player.h"

#include <gst/gst.h>

#include <mutex>

#include "platform/text.h"

namespace larkspan::platform {
namespace {

using std::chrono::milliseconds;

// playbin's "flags": audio only, so a picture inside a file (cover art)
// never opens a video window.
constexpr guint kPlayAudioOnly = 0x2;

bool GStreamerReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = gst_init_check(nullptr, nullptr, nullptr) != FALSE; });
  return ready;
}

}  // namespace

SoundFilePlayer::SoundFilePlayer(SoundOutputOptions options) : options_(options) {}

SoundFilePlayer::~SoundFilePlayer() {
  close();
}

void SoundFilePlayer::close() {
  if (pipeline_ == nullptr) return;
  gst_element_set_state(pipeline_, GST_STATE_NULL);
  gst_object_unref(pipeline_);
  pipeline_ = nullptr;
  ended_ = false;
}

bool SoundFilePlayer::open(const std::filesystem::path& file, milliseconds timeout) {
  close();
  if (!GStreamerReady()) return false;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(file, error);
  if (error || !std::filesystem::is_regular_file(absolute, error)) return false;
  gchar* uri = gst_filename_to_uri(absolute.c_str(), nullptr);
  if (uri == nullptr) return false;

  pipeline_ = gst_element_factory_make("playbin", nullptr);
  if (pipeline_ == nullptr) {
    g_free(uri);
    return false;
  }
  gst_object_ref_sink(pipeline_);
  g_object_set(pipeline_, "uri", uri, "flags", kPlayAudioOnly, nullptr);
  g_free(uri);
  if (options_.nullOutput) {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
    g_object_set(pipeline_, "audio-sink", sink, nullptr);
  }

  // Decode the start, paused: either the pipeline prerolls or it reports why not.
  if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
    close();
    return false;
  }
  GstBus* bus = gst_element_get_bus(pipeline_);
  GstMessage* message = gst_bus_timed_pop_filtered(
      bus, static_cast<GstClockTime>(timeout.count()) * GST_MSECOND,
      static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
  const bool prerolled = message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ASYNC_DONE;
  if (message != nullptr) gst_message_unref(message);
  gst_object_unref(bus);
  gint audioStreams = 0;
  if (prerolled) g_object_get(pipeline_, "n-audio", &audioStreams, nullptr);
  if (!prerolled || audioStreams == 0) {
    close();
    return false;
  }
  return true;
}

void SoundFilePlayer::play() {
  if (pipeline_ != nullptr) gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

void SoundFilePlayer::pause() {
  if (pipeline_ != nullptr) gst_element_set_state(pipeline_, GST_STATE_PAUSED);
}

void SoundFilePlayer::seek(milliseconds position) {
  if (pipeline_ == nullptr) return;
  ended_ = false;
  gst_element_seek_simple(
      pipeline_, GST_FORMAT_TIME,
      static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
      static_cast<gint64>(std::max<milliseconds::rep>(position.count(), 0)) * GST_MSECOND);
}

std::optional<milliseconds> SoundFilePlayer::position() const {
  gint64 at = 0;
  if (pipeline_ == nullptr || !gst_element_query_position(pipeline_, GST_FORMAT_TIME, &at))
    return std::nullopt;
  return milliseconds(at / GST_MSECOND);
}

std::optional<milliseconds> SoundFilePlayer::duration() const {
  gint64 length = 0;
  if (pipeline_ == nullptr || !gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &length))
    return std::nullopt;
  return milliseconds(length / GST_MSECOND);
}

bool SoundFilePlayer::ended() {
  if (pipeline_ == nullptr || ended_) return ended_;
  GstBus* bus = gst_element_get_bus(pipeline_);
  while (GstMessage* message = gst_bus_pop_filtered(
             bus, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
    ended_ = true;
    gst_message_unref(message);
  }
  gst_object_unref(bus);
  return ended_;
}

std::string FormatPlayTime(milliseconds position) {
  const long long seconds = std::max<long long>(position.count(), 0) / 1000;
  if (seconds >= 3600)
    return Format("%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return Format("%02lld:%02lld", seconds / 60, seconds % 60);
}

}  // namespace larkspan::platform
