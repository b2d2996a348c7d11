#pragma once

#include <chrono>
#include <filesystem>
#include <mutex>

#include "platform/activity_log.h"
#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/http_client.h"
#include "platform/prompter.h"
#include "platform/start_sound.h"
#include "platform/tone.h"
#include "recording/tray_icon_file.h"

namespace larkspan::recording {

// What every recording thread shares besides its job: the program's
// process-wide pieces and the platform services. The owner keeps it alive
// until every recording thread has ended.
struct RecordingContext {
  std::filesystem::path startupDirectory;  // absolute
  platform::ActivityLog log{startupDirectory};
  platform::Clock& clock;
  platform::Prompter& prompter;
  platform::Tone& tone;
  platform::CommandRunner& commands;
  TrayIconFile& trayIconFile;
  // EncoderLock: lets one recording at a time through the conversion step.
  // Never held together with another lock.
  std::mutex& encoderLock;
  // Time-outs of every stream request; each thread adds its job's stop flag.
  std::chrono::milliseconds connectTimeout{10'000};
  std::chrono::milliseconds readTimeout{20'000};
  // The fixed pauses between connection attempts and after a failed cycle.
  std::chrono::milliseconds retryPause{1'000};
  std::chrono::milliseconds errorPause{2'000};
  // Plays a start sound file chosen by the user; none: the tone only.
  platform::StartSound* startSound = nullptr;
};

}  // namespace larkspan::recording
