#pragma once

#include <chrono>
#include <functional>

#include "monitor/record_mountpoint_dialog.h"
#include "monitor/status_page_fetch.h"
#include "platform/activity_log.h"
#include "platform/clock.h"
#include "platform/prompter.h"
#include "platform/random_source.h"
#include "platform/tone.h"
#include "recording/job_table.h"
#include "schedule/profile.h"

namespace larkspan::irc {
class IrcBotMFC;
}

namespace larkspan::monitor {

// Everything the monitor tick works on. The main window (or the headless
// runner) owns all of it and keeps it alive across the call.
struct MonitorContext {
  schedule::Profile& profile;  // schedule, known mountpoints, settings (IRC, start sound)
  recording::JobTable& jobs;   // its lock() is held for the whole poll
  platform::Clock& clock;
  platform::Prompter& prompter;  // "Cannot parse URL" and the Record? question
  platform::Tone& tone;
  const platform::ActivityLog& log;  // "log.txt" in the start-up directory
  irc::IrcBotMFC* ircClient;         // may be null
  // How the keep-alive reconnects a dropped client; empty: at once.
  std::function<void()> reconnectIrc = {};
  platform::RandomSource& random;  // Chatter Mode draws
  RecordMountpointDialog& recordMountpointDialog;
  StatusPageOptions statusPage = {};
  // The pause after each server's poll.
  std::chrono::milliseconds pauseAfterPoll{100};
  // What one poll may spend on its fetches and pauses, so that the window's
  // thread is back for the scheduler tick within its five seconds however
  // many servers stall. The servers not reached come first at the next poll.
  std::chrono::milliseconds pollBudget{4'000};
};

inline constexpr const char* kNewMountpointQuestion =
    "A new mointpoint has been found at:\n%s\nRecord?";
inline constexpr int kBeepFrequencyHz = 523;
inline constexpr int kBeepDurationMs = 500;

// The server monitor of timer 2. One object lives as long as the program;
// it holds the busy flag that keeps ticks from nesting while a question of
// an earlier tick is open.
class ServerMonitor {
 public:
  // The tick, every 5,000 ms on the window's thread. In the seconds 0-4,
  // 15-19, 30-34 and 45-49 of each minute it sends the IRC keep-alive and
  // polls the status page of every entry that monitors a server (outside the
  // entry's ignore times), or of as many as the poll's time allows. Each new
  // mountpoint is logged and then, by the entry's level: remembered (0),
  // offered with a question (1, 2; 2 beeps first), or made a continuously
  // monitored entry (5). The boxes and the dialog keep the window's timers
  // running, so the scheduler tick may remove entries meanwhile: after each
  // of them the tick looks for its entry again, and leaves the rest of that
  // entry's mountpoints when it is gone.
  void MonitorServers(const MonitorContext& context);

  bool busy() const { return busy_; }

 private:
  bool busy_ = false;
  // The entry the next poll starts with: the first one the last poll had no
  // time left for, or 0.
  std::size_t resumeAt_ = 0;
};

}  // namespace larkspan::monitor
