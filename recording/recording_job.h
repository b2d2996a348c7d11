#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/stop_signal.h"

namespace larkspan::schedule {
struct ProfileSettings;
}
namespace larkspan::irc {
class IrcBotMFC;
}

namespace larkspan::recording {

// Sizes of the fixed text fields of a job, terminator included.
inline constexpr std::size_t kJobPathSize = 1024;
inline constexpr std::size_t kExtensionSize = 32;
inline constexpr std::size_t kStartSoundFileSize = 256;

// The record of one recording, shared by its owner (the window's thread) and
// its recording thread. The owner fills it before the thread starts; from then
// on the owner only sets stopRequested and reads status() and finished, and
// the thread owns every other field. The owner releases the job only after
// isFinished() and, for a scheduled job, after joining the thread.
struct RecordingJob {
  RecordingJob() = default;
  RecordingJob(const RecordingJob&) = delete;
  RecordingJob& operator=(const RecordingJob&) = delete;

  // Set by the owner to ask the thread to end; the thread only reads it,
  // and waits for stream data beside its descriptor.
  platform::StopSignal stopRequested;

  // Safe to call from any thread while the recording thread replaces it.
  std::string status() const;
  void setStatus(std::string_view text);

  // Called with every new status text, on the thread that sets it, before
  // any later status and outside the status lock (status() answers while it
  // runs); for a front end that must see every change (the command-line
  // recorder prints them all). Set it before the thread starts.
  std::function<void(std::string_view)> statusObserver;

  // Called on the recording thread with the reason each time an attempt to
  // connect fails for another reason than the attempt before it (after an
  // attempt that worked, any reason is new): "cannot connect to host:8000:
  // Connection refused", "HTTP 404 Not Found". For a front end that explains
  // a recording that does not start. Set it before the thread starts.
  std::function<void(std::string_view)> connectionFailureObserver;

  // The thread's last act: everything it wrote before is visible to whoever
  // sees isFinished() return true.
  void markFinished() { finished_.store(true, std::memory_order_release); }
  bool isFinished() const { return finished_.load(std::memory_order_acquire); }

  char url[kJobPathSize] = {};          // may be replaced by a playlist's URL
  char outputFile[kJobPathSize] = {};   // absolute, or relative to the start-up directory
  char extension[kExtensionSize] = {};  // without the dot
  bool shoutcast = false;
  bool convert = false;
  bool deleteOriginal = false;  // cleared by the thread when the encoder fails
  bool persistent = false;
  bool monitorMountpoint = false;
  std::int16_t bitrate = 0;                       // kbit/s of the MP3 conversion
  schedule::ProfileSettings* settings = nullptr;  // none for the manual job
  bool oggStream = false;
  std::int32_t entryIndex = 0;  // -1 for the manual job
  bool startSound = false;
  char startSoundFile[kStartSoundFileSize] = {};
  bool disableSounds = false;
  irc::IrcBotMFC* ircClient = nullptr;  // none: no announcements
  bool updateTopic = false;

  // Copied from the job's schedule entry by its starter before the thread
  // starts, so that the thread never reads the schedule, which the window's
  // thread grows and rearranges while recordings run. They serve the IRC
  // messages and a monitored mountpoint's time-out.
  std::string programName = "Unscheduled recording";
  std::string entryUrl = "Unknown URL";
  int timeoutSeconds = 30;
  bool entryMonitorsMountpoint = false;

  // Requests of the thread for its schedule entry, which whoever closes the
  // job out carries out: clear the entry's reserved bytes (a monitored
  // mountpoint that could not be reached), set its end count to 0 (a
  // recording of a monitored mountpoint that failed). Visible once
  // isFinished() is true.
  bool clearEntryReserved = false;
  bool resetEntryEndCount = false;

  // Stream bytes the thread wrote into the recording's file. Visible once
  // isFinished() is true.
  std::uint64_t bytesRecorded = 0;

 private:
  mutable std::mutex statusLock_;
  std::string status_ = "IDLE";
  std::atomic<bool> finished_{false};
};

// What a starter hands to SetUpRecordingJob.
struct RecordingJobSetup {
  std::string_view url = {};
  std::string_view outputFile = {};
  bool shoutcast = false;
  bool convert = false;
  bool deleteOriginal = false;
  std::int16_t bitrate = 0;
  bool persistent = false;
  std::string_view extension = "mp3";
  bool monitorMountpoint = false;
  std::int32_t entryIndex = -1;
  bool startSound = false;
  std::optional<std::string_view> startSoundFile = std::nullopt;
  bool disableSounds = false;
  irc::IrcBotMFC* ircClient = nullptr;
  bool updateTopic = false;
};

// Fills a new job before its thread starts. Texts longer than their fields
// are cut to the field (1,023 bytes for the URL and the output path, 31 for
// the extension, 255 for the start-sound file).
//
// The persistent flag keeps the starter's value unless the URL names an Ogg
// stream ("ogg" anywhere but at its very start): an Ogg stream is not
// persistent, as a monitored mountpoint is not.
void SetUpRecordingJob(RecordingJob& job, const RecordingJobSetup& setup);

// The file-name extension a URL or file name implies: the text after its last
// '.', or "mp3" when the part before that '.' (back to the nearest '/') holds
// another '.'. No result when the name has no '.', or when the text after it
// holds '/' or ':'. A backslash is an ordinary character here.
std::optional<std::string> ExtensionFromName(std::string_view name);

}  // namespace larkspan::recording
