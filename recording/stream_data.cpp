// What happens to each chunk of a recording's stream: the Shoutcast header
// text at the start of each reply, text-looking chunks held back while the
// recording is young (and written once they prove to be no playlist), and
// the end of the data, which either follows a playlist to the stream it
// names or counts as a lost connection.

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/files.h"
#include "platform/network_error.h"
#include "platform/text.h"
#include "recording/recording_run.h"

namespace larkspan::recording {
namespace {

constexpr int kMaxHeldChunks = 5;
constexpr std::size_t kCaptureScanLimit = 4096;
constexpr std::string_view kMetaIntervalTag = "icy-metaint:";
constexpr std::string_view kHttpScheme = "http://";
constexpr std::string_view kHttpsScheme = "https://";
// Larger intervals are read a buffer at a time anyway.
constexpr long kMaxMetaInterval = 1'000'000'000;

bool IsSevenBit(char c) {
  return static_cast<unsigned char>(c) < 128;
}

}  // namespace

std::size_t RecordingRun::readSize() const {
  if (job_.shoutcast && metaInterval_ > 0) {
    return std::min(static_cast<std::size_t>(metaInterval_), readBuffer_.size());
  }
  return kFullChunk;
}

std::size_t RecordingRun::readAndHandleChunk() {
  // An error page is not stream data: its body counts as no data at all, so
  // the thread reconnects until the stream is back.
  if (request_->statusCode() >= 400) return 0;
  std::size_t n = 0;
  try {
    n = request_->read(readBuffer_.data(), readSize());
  } catch (const platform::NetworkError&) {
    // A read cut short by the stop request is no error of the stream.
    if (!stopRequested()) setStatus(status::kError);
    return 0;
  }
  if (n == 0) return n;
  if (stopRequested()) {
    recordArrivedChunks(n);
    return n;
  }
  holdBackOrWrite(n, dataStart(n));
  return n;
}

void RecordingRun::recordArrivedChunks(std::size_t n) {
  // After a stop, reads hand out only what had arrived before it (the
  // socket's low-water mark may have kept it waiting there). Its whole chunks
  // are recorded, as they were when the thread woke at every packet; the
  // chunk still incomplete is dropped.
  while (n == readSize()) {
    holdBackOrWrite(n, dataStart(n));
    try {
      n = request_->read(readBuffer_.data(), readSize());
    } catch (const platform::NetworkError&) {
      return;
    }
  }
}

std::size_t RecordingRun::dataStart(std::size_t length) {
  if (!job_.shoutcast || !headerPending_ || metaInterval_ < 0) return 0;
  const char* chunk = readBuffer_.data();
  metaInterval_ = -1;
  std::size_t start = length;
  for (std::size_t p = 0; p < length;) {
    if (length - p >= kMetaIntervalTag.size() &&
        std::memcmp(chunk + p, kMetaIntervalTag.data(), kMetaIntervalTag.size()) == 0) {
      p += kMetaIntervalTag.size();
      long value = 0;
      for (std::size_t q = p; q < length && chunk[q] >= '0' && chunk[q] <= '9'; ++q) {
        value = std::min(value * 10 + (chunk[q] - '0'), kMaxMetaInterval);
      }
      metaInterval_ = value;
    }
    // Audio starts at the first byte of 128 or more that is not among the
    // chunk's last two.
    if (p + 2 < length && !IsSevenBit(chunk[p])) {
      start = p;
      break;
    }
    ++p;
  }
  if (length == kFullChunk) log(std::string(chunk, start) + "\n");
  headerPending_ = false;
  return start;
}

void RecordingRun::holdBackOrWrite(std::size_t length, std::size_t start) {
  const char* chunk = readBuffer_.data();
  if (!job_.shoutcast) capturedCount_ += length;
  if (heldChunks_ >= kMaxHeldChunks) {
    writeStreamData(chunk + start, length - start);
    return;
  }
  if (IsSevenBit(chunk[0])) {
    // The slot may lie partly or wholly past the buffer when the read size
    // is large: only what fits is kept.
    const std::size_t at = static_cast<std::size_t>(heldChunks_) * readSize();
    if (at < captureBuffer_.size()) {
      std::memcpy(captureBuffer_.data() + at, chunk, std::min(length, captureBuffer_.size() - at));
    }
    if (heldChunks_ != lastCopySlot_ && capturedCount_ < kCaptureScanLimit) {
      capturedCount_ += length;
      lastCopySlot_ = heldChunks_;
    }
  }
  // Only a reply that has not delivered audio yet can be a text document.
  // Once the file holds audio, a short chunk that begins like text is audio
  // too (the last bytes before a break, a metadata-interval read), and
  // holding it back would lose it.
  const bool afterAudio = file_->bytesWritten() > 0;
  if (start < length && (length == kFullChunk || !IsSevenBit(chunk[start]) || afterAudio)) {
    writeStreamData(chunk + start, length - start);
  } else {
    if (held_.capacity() == 0) held_.reserve(kMaxHeldChunks * readBuffer_.size());
    held_.append(chunk + start, length - start);
    ++heldChunks_;
  }
}

void RecordingRun::writeHeldBack() {
  if (held_.empty()) return;
  writeToFile(held_.data(), held_.size());
  held_.clear();
}

void RecordingRun::writeStreamData(const char* data, std::size_t size) {
  writeHeldBack();
  writeToFile(data, size);
}

RecordingRun::DataEnd RecordingRun::handleEndOfData() {
  if (stopRequested()) return DataEnd::StopRequested;
  // Only a reply that has put nothing into the file yet can be a playlist:
  // a URL inside recorded audio (an ID3 tag, an Ogg comment) must never take
  // the recording to another stream.
  const bool mayBePlaylist = !detectionOver_ && !job_.monitorMountpoint &&
                             captureBuffer_[0] < 128 && file_->bytesWritten() == 0;
  if (mayBePlaylist && !adoptPlaylistUrl()) return DataEnd::ThreadEnds;
  // What is still held back was no playlist that is followed.
  writeHeldBack();
  declareConnectionLost();
  return DataEnd::ConnectionLost;
}

bool RecordingRun::adoptPlaylistUrl() {
  const std::size_t scanned = std::min(capturedCount_, captureBuffer_.size());
  const auto* text = reinterpret_cast<const char*>(captureBuffer_.data());
  for (std::size_t at = 0; at + 8 <= scanned; ++at) {
    const std::string_view rest(text + at, scanned - at);
    if (!rest.starts_with(kHttpScheme) && !rest.starts_with(kHttpsScheme)) continue;
    std::size_t end = at;
    while (end < scanned && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    platform::CopyToField(job_.url, std::string_view(text + at, end - at));
    // The playlist's own text stays out of the file.
    held_.clear();
    break;
  }

  const std::string current(platform::FieldText(job_.extension));
  std::string extension = current;
  if (!job_.shoutcast) extension = ExtensionFromName(jobUrl()).value_or(current);
  // The file is still empty here (see handleEndOfData), so switching it to
  // the playlist stream's extension loses nothing.
  if (extension != current) {
    const std::string old = file_->path();
    file_->close();
    if (!platform::RemoveFile(old)) setStatus(status::kCannotDeleteFile);
    std::filesystem::path requested =
        WithoutExtension(std::string(platform::FieldText(job_.outputFile)));
    requested += "." + extension;
    if (requested.is_relative()) requested = context_.startupDirectory / requested;
    file_ = OutputFile::create(requested.string(), extension);
    if (!file_) {
      setStatus(status::kCannotCreateFile);
      log(platform::Format("Cannot create file %s\n", requested.c_str()));
      return false;
    }
  }
  detectionOver_ = true;

  if (!splitJobUrl()) {
    context_.prompter.warning("Cannot parse URL");
    return false;
  }
  return true;
}

}  // namespace larkspan::recording
