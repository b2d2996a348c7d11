#include "recording/recording_thread.h"

#include <cerrno>
#include <cstring>

#include "irc/irc_bot_mfc.h"
#include "platform/descriptor_limit.h"
#include "platform/network_error.h"
#include "platform/text.h"
#include "recording/recording_run.h"

namespace larkspan::recording {
namespace {

using platform::Format;

// A failure to write the recording, with its reason. It ends the
// recording: reconnecting would not make the file writable again.
struct FileWriteError : std::runtime_error {
  explicit FileWriteError(const std::string& reason) : std::runtime_error(reason) {}
};

// A stream's bytes are taken sixteen chunks at a time (four of the reply's
// 4 KiB read-aheads): a recording thread wakes about once a second, at
// 128 kbit/s, instead of at every packet, some 11 times a second. Bytes that
// stay below it are read within about a second all the same.
constexpr std::size_t kWakeBytes = 16384;

}  // namespace

RecordingRun::RecordingRun(RecordingJob& job, RecordingContext& context)
    : job_(job), context_(context) {}

platform::HttpOptions RecordingRun::httpOptions(std::size_t keepLimit) const {
  platform::HttpOptions options;
  options.connectTimeout = context_.connectTimeout;
  options.readTimeout = context_.readTimeout;
  options.keepLimit = keepLimit;
  options.cancel = job_.stopRequested.flag();
  options.cancelEvent = job_.stopRequested.descriptor();
  options.bodyLowWater = kWakeBytes;
  return options;
}

std::string RecordingRun::jobUrl() const {
  return std::string(platform::FieldText(job_.url));
}

bool RecordingRun::splitUrl(std::string_view url) {
  auto parts = platform::SplitUrl(url);
  if (!parts || !platform::IsHttpService(parts->service)) return false;
  parts_ = std::move(*parts);
  return true;
}

bool RecordingRun::splitJobUrl() {
  return splitUrl(jobUrl()) || splitUrl("http://" + jobUrl());
}

void RecordingRun::say(const std::string& text) const {
  if (job_.ircClient != nullptr) job_.ircClient->Say(text);
}

void RecordingRun::pause(std::chrono::milliseconds duration) const {
  context_.clock.sleepFor(duration, job_.stopRequested.flag());
}

void RecordingRun::releaseConnection() {
  if (request_) request_->close();
  request_.reset();
  connection_.reset();
  session_.reset();
  // Every reply of a Shoutcast server begins with its own header text and
  // announces its own metadata interval.
  headerPending_ = true;
  metaInterval_ = 0;
}

bool RecordingRun::openRequest() {
  // A redirect releases the connection it was given; the next attempt needs
  // a new one to the stream's own server.
  if (!connection_)
    connection_ = session_->GetHttpConnection(parts_.server, parts_.port, parts_.service);
  const bool opened = OpenStreamRequest(job_, connection_, request_, *session_, parts_.service,
                                        parts_.object, parts_.server, parts_.port);
  noteAttempt();
  return opened;
}

void RecordingRun::noteAttempt() {
  const std::optional<AttemptFailure>& failure = session_->lastFailure();
  // A stop request cuts the attempt short; that is no reason to report.
  if (stopRequested()) return;
  std::string reason = failure ? failure->reason : std::string();
  if (reason == lastFailureReason_) return;
  lastFailureReason_ = std::move(reason);
  if (!failure) return;
  if (job_.connectionFailureObserver) job_.connectionFailureObserver(failure->reason);
  if (failure->outOfDescriptors) {
    // Retrying goes on, as other recordings may end and free descriptors,
    // but not silently.
    setStatus(status::kTooManyOpenFiles);
    log(Format("Cannot connect to %s: %s\n", jobUrl().c_str(), failure->reason.c_str()));
  } else if (job_.status() == status::kTooManyOpenFiles) {
    setStatus(reconnectPending_ ? status::kReconnecting : status::kConnecting);
  }
}

void RecordingThread(RecordingJob& job, RecordingContext& context) {
  try {
    RecordingRun(job, context).run();
  } catch (const std::exception&) {
    // Only a failure to allocate gets here; the owner must still be able to
    // release the job.
    job.setStatus(status::kError);
    job.markFinished();
  }
}

platform::SmallStackThread StartRecordingThread(RecordingJob& job, RecordingContext& context) {
  platform::SmallStackThread thread;
  if (!thread.start([&job, &context] { RecordingThread(job, context); })) {
    job.setStatus(status::kError);
    job.markFinished();
  }
  return thread;
}

void RecordingRun::run() {
  if (!prepare()) {
    job_.markFinished();
    return;
  }
  platform::ActivityLog::OpenFile firstLine = context_.log.open();
  const bool connected = connectFirst() && (!job_.monitorMountpoint || probeMonitoredMountpoint());
  if (!connected) {
    firstLine.close();
    releaseConnection();
    job_.markFinished();
    return;
  }

  setStatus(status::kRecording);
  clockReading_ = context_.clock.localNow();
  if (firstLine.isOpen()) {
    firstLine.write(Format("Connected to %s at %2d:%2d on %d-%d-%d\n", jobUrl().c_str(),
                           clockReading_.hour, clockReading_.minute, clockReading_.month,
                           clockReading_.day, clockReading_.year));
    firstLine.write(std::string(kBrowserHeaders.substr(0, 1023)) + "\n");
    firstLine.close();
  }
  if (!startRecording()) {
    releaseConnection();
    job_.markFinished();
    return;
  }
  try {
    runCycles();
  } catch (const FileWriteError& failure) {
    // The file keeps what it holds; it is neither converted nor announced.
    setStatus(status::kCannotWriteFile);
    log(Format("Cannot write file %s: %s\n", file_->path().c_str(), failure.what()));
    endEarly();
  }
}

bool RecordingRun::prepare() {
  // Only a monitored Ogg stream is ever repositioned (after its probe), so
  // only its first request keeps its body's start.
  const bool keepsBody = job_.monitorMountpoint && job_.oggStream;
  session_ = std::make_unique<CRecordSession>(
      httpOptions(keepsBody ? platform::HttpReply::kDefaultKeepLimit : 0));
  if (!splitJobUrl()) {
    context_.prompter.warning("Cannot parse URL");
    session_.reset();
    return false;
  }
  connection_ = session_->GetHttpConnection(parts_.server, parts_.port, parts_.service);
  if (!job_.monitorMountpoint) setStatus(status::kConnecting);
  return true;
}

bool RecordingRun::connectFirst() {
  while (!stopRequested()) {
    bool opened = false;
    try {
      opened = openRequest();
    } catch (const std::exception&) {
      continue;  // the next attempt follows at once
    }
    if (opened) return true;
    if (job_.monitorMountpoint) {
      job_.clearEntryReserved = true;
      return false;
    }
    pause(context_.retryPause);
  }
  // Stopped before connecting: an ordinary job still creates its (empty)
  // file and ends at its first cycle; a monitored mountpoint has nothing to
  // probe and gives up.
  return !job_.monitorMountpoint;
}

bool RecordingRun::probeMonitoredMountpoint() {
  const auto probe = [this]() -> std::size_t {
    // An error page says the mountpoint is not on the air.
    if (!request_ || request_->statusCode() >= 400) return 0;
    try {
      return request_->read(readBuffer_.data(), kFullChunk);
    } catch (const platform::NetworkError&) {
      return 0;
    }
  };
  const auto looksLikeText = [this](std::size_t n) {
    for (std::size_t i = 0; i < std::min<std::size_t>(n, 3); ++i) {
      const auto b = static_cast<unsigned char>(readBuffer_[i]);
      if (b < 1 || b > 127) return false;
    }
    return true;
  };

  std::size_t n = probe();
  if (n == 0 || looksLikeText(n)) n = probe();
  if (n == 0) return false;

  if (job_.oggStream) {
    const auto start = context_.clock.steadyNow();
    while (n != 0 && context_.clock.steadyNow() - start < std::chrono::seconds(15) &&
           !stopRequested()) {
      n = probe();
    }
    if (n == 0) return false;
    try {
      request_->seekToBodyStart();
      request_->dropKeptBytes();
    } catch (const platform::NetworkError&) {
      return false;
    }
    return true;
  }

  request_->close();
  request_.reset();
  connection_.reset();
  try {
    return openRequest();
  } catch (const std::exception&) {
    return false;
  }
}

bool RecordingRun::startRecording() {
  std::filesystem::path requested = platform::FieldText(job_.outputFile);
  if (requested.is_relative()) requested = context_.startupDirectory / requested;
  file_ = OutputFile::create(requested.string(), platform::FieldText(job_.extension));
  if (!file_) {
    const int error = errno;  // as the failed open left it
    setStatus(platform::IsOutOfDescriptors(error) ? status::kTooManyOpenFiles
                                                  : status::kCannotCreateFile);
    log(Format("Cannot create file %s: %s\n", requested.c_str(), std::strerror(error)));
    return false;
  }
  setStatus(status::kRecording);

  if (job_.ircClient != nullptr) {
    const std::string& url = job_.entryUrl;
    const std::size_t dot = url.rfind('.');
    const bool namesAFile = dot != std::string::npos && url.size() - dot <= 4;
    const std::string announcement =
        Format(namesAFile ? "%s - %s ( %s )" : "%s - %s ( %s.m3u )", job_.status().c_str(),
               job_.programName.c_str(), url.c_str());
    say(announcement);
    if (job_.updateTopic) {
      job_.ircClient->SendRaw(
          Format("TOPIC %s :%s\r\n", job_.ircClient->Channel().c_str(), announcement.c_str()));
    }
  }
  if (!job_.disableSounds) announceStart();
  context_.trayIconFile.set(TrayIconFile::kRecording);
  return true;
}

void RecordingRun::announceStart() {
  const std::string_view soundFile = platform::FieldText(job_.startSoundFile);
  if (!job_.startSound || soundFile.empty() || context_.startSound == nullptr) {
    context_.tone.play(523, 250);
    return;
  }
  // The file plays on a thread of its own (or the tone, when it cannot be
  // played); the recording goes on at once.
  std::filesystem::path file(soundFile);
  if (file.is_relative()) file = context_.startupDirectory / file;
  context_.startSound->announce(file);
}

void RecordingRun::declareConnectionLost() {
  reconnectPending_ = true;
  releaseConnection();
  lossTime_ = context_.clock.localNow().epochSeconds;
}

void RecordingRun::failCycle() {
  reconnectPending_ = true;
  ++errorCount_;
  setStatus(status::kError);
  pause(context_.errorPause);
  if (errorCount_ >= 1000) setStatus(status::kLostConnection);
  releaseConnection();
  const platform::LocalTime now = context_.clock.localNow();
  log(Format("Connection to %s lost at %d:%d\n", jobUrl().c_str(), now.hour, now.minute));
}

void RecordingRun::reconnect() {
  clockReading_ = context_.clock.localNow();
  log(Format("Connection to %s failed at %2d:%2d...attempting reconnect\n", jobUrl().c_str(),
             clockReading_.hour, clockReading_.minute));
  setStatus(status::kReconnecting);
  context_.trayIconFile.set(TrayIconFile::kReconnecting);
  pause(context_.retryPause);

  session_ = std::make_unique<CRecordSession>(httpOptions(0));
  connection_ = session_->GetHttpConnection(parts_.server, parts_.port, parts_.service);
  while (!stopRequested()) {
    if (openRequest()) break;
    pause(context_.retryPause);
  }
  log(Format("Reconnected to %s at %d:%d\n", jobUrl().c_str(), clockReading_.hour,
             clockReading_.minute));

  if (lossTime_) {
    const std::int64_t now = context_.clock.localNow().epochSeconds;
    if (lossCycles_ == 1) timeoutBase_ = now;
    if (timeoutBase_ && now - *timeoutBase_ >= job_.timeoutSeconds && job_.monitorMountpoint)
      timedOut_ = true;
  }
}

void RecordingRun::writeToFile(const char* data, std::size_t size) {
  if (size == 0) return;
  if (const std::error_code error = file_->write(data, size)) throw FileWriteError(error.message());
}

void RecordingRun::runCycles() {
  bool threadEnds = false;
  while (!threadEnds) {
    bool counted = true;
    try {
      if (reconnectPending_ && !stopRequested()) reconnect();
      if (!stopRequested()) {
        std::size_t n = 0;
        if (request_) {
          n = readAndHandleChunk();
        } else {
          captureBuffer_[0] = 0;
        }
        if (n > 0 && !stopRequested()) {
          reconnectPending_ = false;
          errorCount_ = 0;
          setStatus(status::kRecording);
          context_.trayIconFile.set(TrayIconFile::kRecording);
          if (n == kFullChunk) timedOut_ = false;
        } else if (n == 0) {
          threadEnds = handleEndOfData() == DataEnd::ThreadEnds;
        }
      }
    } catch (const FileWriteError&) {
      throw;  // no lost connection: the recording ends (run)
    } catch (const std::exception&) {
      failCycle();
      counted = false;
    }
    if (threadEnds) break;
    if (counted) {
      // Playlist detection ends once more than a hundred cycles are behind.
      if (cycleCount_ > 100) detectionOver_ = true;
      ++cycleCount_;
    }
    if (stopRequested()) break;
    if (reconnectPending_ && !job_.persistent) {
      const int before = lossCycles_++;
      if (before >= 2 && timedOut_) break;
    }
  }
  if (threadEnds) {
    endEarly();
    return;
  }
  finish();
}

void RecordingRun::endEarly() {
  if (file_) file_->close();
  releaseConnection();
  job_.markFinished();
}

void RecordingRun::finish() {
  if (file_) {
    // Bytes still held back when the recording stops were no playlist.
    writeHeldBack();
    job_.bytesRecorded = file_->bytesWritten();
    file_->close();
  }
  releaseConnection();
  if (!job_.persistent && lossCycles_ > 2) {
    setStatus(status::kConnectionFailed);
    if (job_.entryMonitorsMountpoint) job_.resetEntryEndCount = true;
    if (job_.monitorMountpoint) say("FINISHED - " + job_.programName);
  } else {
    if (job_.convert) convert();
    setStatus(status::kDoneRecording);
    say((job_.convert ? "DONE ENCODING - " : "FINISHED - ") + job_.programName);
  }
  job_.markFinished();
}

}  // namespace larkspan::recording
