#pragma once

// The state of one running recording thread. Private to the recording
// engine: its phases live in recording_thread.cpp, the handling of each chunk
// of stream data in stream_data.cpp and the conversion in conversion.cpp.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/url.h"
#include "recording/output_file.h"
#include "recording/recording_context.h"
#include "recording/recording_job.h"
#include "recording/stream_connection.h"

namespace larkspan::recording {

// Statuses the recording thread sets.
namespace status {
inline constexpr const char* kConnecting = "CONNECTING";
inline constexpr const char* kRecording = "RECORDING";
inline constexpr const char* kReconnecting = "RECONNECTING";
inline constexpr const char* kError = "ERROR";
inline constexpr const char* kLostConnection = "LOST CONNECTION";
inline constexpr const char* kConnectionFailed = "CONNECTION FAILED";
inline constexpr const char* kDoneRecording = "DONE RECORDING";
inline constexpr const char* kCannotCreateFile = "CANNOT CREATE FILE";
inline constexpr const char* kCannotWriteFile = "CANNOT WRITE FILE";
inline constexpr const char* kCannotDeleteFile = "CANNOT DELETE FILE";
// No descriptor left for the stream's socket or the file.
inline constexpr const char* kTooManyOpenFiles = "TOO MANY OPEN FILES";
}  // namespace status

// A chunk is full when a read delivered this many bytes.
inline constexpr std::size_t kFullChunk = 1023;

class RecordingRun {
 public:
  RecordingRun(RecordingJob& job, RecordingContext& context);
  void run();

 private:
  // What the end-of-data handling decided.
  enum class DataEnd { StopRequested, ConnectionLost, ThreadEnds };

  // Phases.
  bool prepare();
  bool connectFirst();
  bool probeMonitoredMountpoint();
  // Creates the output file and announces the recording; false when the
  // file cannot be created.
  bool startRecording();
  // Ends in finish(); a write that fails ends it early with FileWriteError.
  void runCycles();
  void finish();
  // Ends the thread without finishing the recording.
  void endEarly();

  // Connection pieces.
  platform::HttpOptions httpOptions(std::size_t keepLimit) const;
  bool openRequest();
  // Reports why the attempt just made failed, once per change of reason.
  void noteAttempt();
  void releaseConnection();
  void declareConnectionLost();
  // The start tone, or the start sound file the user chose.
  void announceStart();
  void failCycle();
  void reconnect();

  // Stream data (stream_data.cpp).
  std::size_t readSize() const;
  // Reads one chunk and writes what belongs in the file; returns the bytes
  // delivered, 0 for the end of the data or a failed read.
  std::size_t readAndHandleChunk();
  // At a stop: records the whole chunks of the bytes that had arrived,
  // beginning with the `n` bytes just read.
  void recordArrivedChunks(std::size_t n);
  std::size_t dataStart(std::size_t length);
  void holdBackOrWrite(std::size_t length, std::size_t start);
  void writeHeldBack();
  // Writes the held-back bytes, then `data`.
  void writeStreamData(const char* data, std::size_t size);
  void writeToFile(const char* data, std::size_t size);
  DataEnd handleEndOfData();
  // The playlist handling; false when the thread must end.
  bool adoptPlaylistUrl();

  // Conversion (conversion.cpp).
  void convert();

  // Reporting.
  bool stopRequested() const { return job_.stopRequested.load(std::memory_order_acquire); }
  void setStatus(const char* text) { job_.setStatus(text); }
  void log(const std::string& line) const { context_.log.append(line); }
  void say(const std::string& text) const;
  void pause(std::chrono::milliseconds duration) const;
  std::string jobUrl() const;
  bool splitUrl(std::string_view url);
  bool splitJobUrl();

  RecordingJob& job_;
  RecordingContext& context_;

  platform::UrlParts parts_;
  std::unique_ptr<CRecordSession> session_;
  std::unique_ptr<platform::HttpConnection> connection_;
  std::unique_ptr<platform::HttpRequest> request_;
  std::optional<OutputFile> file_;
  platform::LocalTime clockReading_;

  // Cycle state.
  bool reconnectPending_ = false;
  int lossCycles_ = 0;
  bool timedOut_ = false;
  int errorCount_ = 0;
  int cycleCount_ = 0;
  std::optional<std::int64_t> lossTime_;
  std::optional<std::int64_t> timeoutBase_;
  std::string lastFailureReason_;  // empty after an attempt that worked

  // Stream data state.
  std::array<char, 4096> readBuffer_{};
  std::array<unsigned char, 8192> captureBuffer_{};
  int heldChunks_ = 0;
  // The bytes of the held-back chunks, from each one's data start: a
  // playlist that is followed never reaches the file, anything else does,
  // in order, before what follows it.
  std::string held_;
  int lastCopySlot_ = 0;
  std::size_t capturedCount_ = 0;
  bool headerPending_ = true;
  long metaInterval_ = 0;  // 0 not parsed yet, -1 looked for and not found
  bool detectionOver_ = false;
};

}  // namespace larkspan::recording
