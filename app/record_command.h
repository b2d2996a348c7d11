#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace larkspan::app {

struct RecordCommand {
  std::string url;
  std::string outputFile;
  bool shoutcast = false;
  // Stops the recording by itself this long after the start.
  std::optional<std::chrono::seconds> duration = std::nullopt;
};

// Makes one manual recording, as the main window's Connect does, with
// `startupDirectory` as the start-up directory: every new status goes to
// standard output, the stop signals (StopSignals()) and the end of
// `duration` ask the recording to stop. Returns the process's exit status:
// kExitSuccess when the recording ended "DONE RECORDING" with stream data in
// its file, kExitFailure otherwise. The stop signals must be blocked in every
// thread before the call (main does so before anything else starts).
int RunRecordCommand(const RecordCommand& command, const std::filesystem::path& startupDirectory);

}  // namespace larkspan::app
